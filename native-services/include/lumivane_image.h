/* libLumivaneImage: native services the host application calls in-process.
 *
 * Conventions shared by every export:
 *  - integers are 32-bit signed; a boolean result is exactly 1 or 0;
 *  - text is NUL-terminated UTF-8, borrowed for the call only;
 *  - image bytes are read in place during the call and never kept;
 *  - JSON result texts are made with the C allocator and handed back to lv_free_text;
 *  - every function here may run on any thread, also concurrently.
 */
#ifndef LUMIVANE_IMAGE_H
#define LUMIVANE_IMAGE_H

#include <stdint.h>

#if defined(LUMIVANE_IMAGE_BUILD)
#define LV_EXPORT __attribute__((visibility("default")))
#else
#define LV_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One detected region, as fractions of the image's width and height, with the origin at the
 * image's top-left corner. */
typedef struct lv_region {
    double x;      /* left edge */
    double y;      /* top edge, measured down from the top */
    double width;
    double height;
} lv_region;

/* Recognises the text lines of an encoded image (PNG, JPEG, TIFF, GIF, WebP, BMP, PNM,
 * JPEG 2000, HEIC/HEIF).
 * Returns {"Linhas":[{"Texto":..,"Confianca":..,"Area":{"X":..,"Y":..,"Largura":..,"Altura":..}},..]}
 * or {"Erro":"message"}; null only when the JSON text could not be made. */
LV_EXPORT char *lv_read_text(const void *bytes, int32_t byte_count);

/* Releases a text returned by lv_read_text or lv_read_qr; null is accepted. */
LV_EXPORT void lv_free_text(char *text);

/* Reads the text payloads of every QR code in an encoded image, in the detector's order,
 * repeated payloads included.
 * Returns {"Codigos":["..",..]} or {"Erro":"message"}; null only when the JSON text could not
 * be made. */
LV_EXPORT char *lv_read_qr(const void *bytes, int32_t byte_count);

/* Finds faces (mode non-zero) or text lines (mode zero) and writes up to `capacity` records
 * into `regions`. Returns the number of regions found when all were written, -1 when detection
 * failed (nothing written), -2 when more regions were found than `capacity` (the first
 * `capacity` were written). */
LV_EXPORT int32_t lv_detect_regions(const void *bytes, int32_t byte_count, int32_t mode,
                                    lv_region *regions, int32_t capacity);

/* ---- Media player ----
 * An audio and video player the host embeds. Every player call runs on the main thread, whose
 * GLib main context the host iterates; lv_player_create returns null elsewhere. Every call
 * accepts a null handle and then does nothing, reading as zero. */

/* One player, owned by the host from lv_player_create to lv_player_destroy. */
typedef struct LVMediaPlayer lv_player;
typedef struct _GtkWidget GtkWidget;

/* A new player with no item, or null off the main thread or when the media framework cannot
 * start. */
LV_EXPORT lv_player *lv_player_create(void);

/* Stops the player and gives up the handle. Seek completions still pending arrive later and
 * touch only what they hold. */
LV_EXPORT void lv_player_destroy(lv_player *player);

/* The GTK 4 widget that shows the video, scaled to fit with its aspect ratio kept; borrowed,
 * valid while the player lives. Null when no display could be opened. */
LV_EXPORT GtkWidget *lv_player_view(lv_player *player);

/* Replaces the current item with the media file at `path`; playback does not start. */
LV_EXPORT void lv_player_load(lv_player *player, const char *path);

/* Plays (non-zero) or pauses (zero). At the end of an item the player pauses there. */
LV_EXPORT void lv_player_play(lv_player *player, int32_t play);

/* Seeks exactly to `seconds` (negative or NaN: 0). */
LV_EXPORT void lv_player_seek(lv_player *player, double seconds);

/* 1 while the last requested seek has not completed, else 0; a load clears it. */
LV_EXPORT int32_t lv_player_seeking(lv_player *player);

/* Sets the volume, 0.0 (silent) to 1.0 (as recorded). */
LV_EXPORT void lv_player_volume(lv_player *player, float volume);

/* Writes the position and the duration in seconds (0 when unknown) and the playing flag into
 * the places given (each may be null). Returns 1 when the item is ready to play, 0 with no
 * item or while it is being prepared, -1 when it failed: the reason is then copied into
 * `message` (strlcpy rules; nothing with capacity 0 or a null buffer). */
LV_EXPORT int32_t lv_player_state(lv_player *player, double *position, double *duration,
                                  int32_t *playing, char *message, int32_t capacity);

#ifdef __cplusplus
}
#endif

#endif
