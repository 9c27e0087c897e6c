/* libLumivaneUpdater: the host application's C interface to its updater.
 *
 * Flags are passed and returned as int: 0 is false, any other value is true, and returned
 * truth values are exactly 1. LVUpdaterStart and LVUpdaterCheck work only on the main thread
 * (the process's initial thread, which runs GLib's default main context); from another
 * thread they do nothing and LVUpdaterStart returns 0. The other four may run on any thread.
 *
 * The updater is configured by the main bundle's Info.plist: "SUFeedURL" and "SUPublicEDKey"
 * must be present, or it is not started.
 */
#ifndef LUMIVANE_UPDATER_H
#define LUMIVANE_UPDATER_H

#if defined(LUMIVANE_UPDATER_BUILD)
#define LV_UPDATER_EXPORT __attribute__((visibility("default")))
#else
#define LV_UPDATER_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Starts the updater once. 1 if it runs after the call (now or from an earlier call), else 0.
 * A failed start logs "Lumivane: não foi possível iniciar as atualizações (CODE)." on
 * standard error and may be tried again. */
LV_UPDATER_EXPORT int LVUpdaterStart(void);

/* 1 if started and a check is possible now (none is under way), else 0. */
LV_UPDATER_EXPORT int LVUpdaterCanCheck(void);

/* 1 if started and automatic checking is on, else 0. */
LV_UPDATER_EXPORT int LVUpdaterAutomatic(void);

/* Switches automatic checking on (non-zero) or off (0); nothing before a successful start. */
LV_UPDATER_EXPORT void LVUpdaterSetAutomatic(int automatic);

/* Brings the application to the front and checks for updates with the standard windows. */
LV_UPDATER_EXPORT void LVUpdaterCheck(void);

/* Records whether the application is busy. While busy, the relaunch that finishes an
 * installed update waits; leaving the busy state lets it go ahead from the main context. */
LV_UPDATER_EXPORT void LVUpdaterSetBusy(int busy);

#ifdef __cplusplus
}
#endif

#endif
