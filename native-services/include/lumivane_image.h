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

/* File actions, sharing, the file service and the login item.
 * lv_airdrop and lv_register_file_service must be called on the main thread (the process's
 * initial thread, which iterates GLib's default main context) and refuse elsewhere; their
 * reports and requests arrive there. The others may run on any thread. */

/* Moves or renames a file or folder; never replaces an existing item, also across volumes.
 * Returns 1, or 0 with the reason in `message` (at most capacity - 1 bytes, NUL-terminated). */
LV_EXPORT int32_t lv_move_item(const char *source, const char *destination, char *message,
                               int32_t capacity);

/* Writes the canonical absolute form of `path` into `output` when it fits whole; returns 1,
 * or 0 with `output` untouched. */
LV_EXPORT int32_t lv_canonical_path(const char *path, char *output, int32_t capacity);

/* Offers the files of a JSON array of paths to the desktop's Bluetooth send-to program, which
 * shows its own chooser of devices. Returns 1 when it was started, 0 when there is no such
 * program or an item is not an existing regular file, -1 off the main thread. The message
 * buffer is not written. */
LV_EXPORT int32_t lv_airdrop(const char *paths_json, char *message, int32_t capacity);

/* Receives the JSON array of paths of a file-service request; valid during the call only. */
typedef void (*lv_file_service_callback)(const char *paths_json);

/* Installs the application action "receberArquivos" (parameter: a list of file URIs or paths)
 * on the default GApplication, replacing an earlier one, and records `callback`. Returns 1, or
 * 0 off the main thread or when there is no default application yet. */
LV_EXPORT int32_t lv_register_file_service(lv_file_service_callback callback);

/* The login item of the running application bundle: -1 when not running from one, else
 * 0 not registered, 1 enabled, 2 switched off by the user in the session's settings,
 * 3 registered but its program is gone. */
LV_EXPORT int32_t lv_login_status(void);

/* Registers (enable non-zero) or unregisters the login item. Returns 1, or 0 with the reason
 * in `message`. */
LV_EXPORT int32_t lv_login_set(int32_t enable, char *message, int32_t capacity);

/* Opens the session's startup-applications settings without waiting for them. */
LV_EXPORT void lv_login_settings(void);
/* HEIC writing. lv_heic_available returns 1 when this process can write HEIC files, else 0.
 * lv_write_heic re-encodes the first image of an encoded file (the formats lv_read_text reads)
 * as the only image of a HEIC file at `output_path`, with its pixels as stored (no orientation
 * applied or written, no metadata) and its transparency kept. `quality` runs from 0 (smallest
 * file) to 1 (best); values outside count as the nearer end, NaN is refused. Returns 1 when the
 * file was written completely, else 0; on failure no file is left at `output_path` (an existing
 * file there stays as it was). */
LV_EXPORT int32_t lv_heic_available(void);
LV_EXPORT int32_t lv_write_heic(const void *bytes, int32_t byte_count, const char *output_path,
                                double quality);
/* Rich text conversion. Each returns 1 when its output file was written and 0 on any failure;
 * the output is written atomically, so a failure leaves no file (and an existing one as it
 * was). */

/* Saves text of a pasteboard type as a Word document. `type` "RTF " or "public.rtf" reads RTF;
 * "TEXT" / "com.apple.traditional-mac-plain-text" Mac OS Roman; "utxt" /
 * "public.utf16-plain-text" UTF-16 big-endian; "ut16" / "public.utf16-external-plain-text"
 * UTF-16 with a byte-order mark; any other type UTF-8. The bytes are copied. */
LV_EXPORT int32_t lv_text_to_docx(const void *bytes, int32_t byte_count, const char *type,
                                  const char *output_path);

/* Saves an RTFD document (a folder with TXT.rtf and its pictures) as one HTML file in UTF-8
 * with every picture embedded as a PNG data URI. */
LV_EXPORT int32_t lv_rtfd_to_html(const char *rtfd_path, const char *output_path);

/* Saves a text clipping file (a property list, at most 32 MiB, with a "UTI-Data" dictionary)
 * as a Word document from its first entry that converts: RTF, then UTF-8, UTF-16 with mark,
 * UTF-16 big-endian, Mac OS Roman text. */
LV_EXPORT int32_t lv_clipping_to_docx(const char *clipping_path, const char *output_path);
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
