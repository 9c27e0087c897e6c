/* A host application for the desktop services, run as a process by the tests:
 *   desktop_host status              prints lv_login_status()
 *   desktop_host set ENABLE CAPACITY prints the result and the message buffer
 *   desktop_host settings            calls lv_login_settings and prints "returned"
 *   desktop_host serve APP-ID        a GApplication on the session bus with the file service;
 *                                    prints each request's JSON on its own line */
#include "lumivane_image.h"

#include <gio/gio.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void print_request(const char *paths_json) {
    printf("request %s\n", paths_json);
    fflush(stdout);
}

static void print_second(const char *paths_json) {
    printf("second %s\n", paths_json);
    fflush(stdout);
}

static gpointer register_elsewhere(gpointer data) {
    (void)data;
    return GINT_TO_POINTER(lv_register_file_service(print_second));
}

static void on_startup(GApplication *application, gpointer data) {
    (void)data;
    g_application_hold(application);
    /* Registered twice: the second callback replaces the first. */
    int first = lv_register_file_service(print_request);
    /* Off the main thread the registration is refused and changes nothing. */
    int elsewhere = GPOINTER_TO_INT(g_thread_join(g_thread_new("elsewhere", register_elsewhere, NULL)));
    int second = getenv("HOST_SECOND_CALLBACK") ? lv_register_file_service(print_second) : 1;
    printf("registered %d %d %d\n", first, second, elsewhere);
    fflush(stdout);
}

static void on_activate(GApplication *application, gpointer data) {
    (void)application;
    (void)data;
}

int main(int argc, char **argv) {
    if (argc >= 2 && strcmp(argv[1], "status") == 0) {
        printf("%d\n", lv_login_status());
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "set") == 0) {
        char message[512];
        memset(message, '#', sizeof message);
        message[sizeof message - 1] = '\0';
        int capacity = atoi(argv[3]);
        int result = lv_login_set(atoi(argv[2]), message, capacity);
        printf("%d\n%s\n", result, message);
        return 0;
    }
    if (argc >= 2 && strcmp(argv[1], "settings") == 0) {
        lv_login_settings();
        printf("returned\n");
        return 0;
    }
    if (argc >= 3 && strcmp(argv[1], "serve") == 0) {
        /* Before any application exists the registration is refused. */
        printf("early %d\n", lv_register_file_service(print_request));
        GApplication *application = g_application_new(argv[2], G_APPLICATION_DEFAULT_FLAGS);
        g_signal_connect(application, "startup", G_CALLBACK(on_startup), NULL);
        g_signal_connect(application, "activate", G_CALLBACK(on_activate), NULL);
        char *args[] = {argv[0], NULL};
        int status = g_application_run(application, 1, args);
        g_object_unref(application);
        return status;
    }
    fprintf(stderr, "usage: desktop_host status|set E C|settings|serve APP-ID\n");
    return 2;
}
