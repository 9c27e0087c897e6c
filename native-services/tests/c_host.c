/* A host written in C: the public header compiles as C and the library links and answers. */
#include "lumivane_image.h"

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(int condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

int main(void) {
    static const char garbage[] = "not an image at all";
    char *text = lv_read_text(garbage, (int32_t)sizeof garbage);
    expect(text && strcmp(text, "{\"Erro\":\"N\xc3\xa3o foi poss\xc3\xadvel reconhecer o texto.\"}") == 0,
           "lv_read_text on garbage gives the error object");
    lv_free_text(text);
    lv_free_text(NULL);

    text = lv_read_qr(garbage, 0);
    expect(text && strstr(text, "\"Erro\"") != NULL, "lv_read_qr on zero bytes gives the error object");
    lv_free_text(text);

    lv_region regions[2];
    memset(regions, 0x5a, sizeof regions);
    expect(lv_detect_regions(garbage, (int32_t)sizeof garbage, 1, regions, 2) == -1, "lv_detect_regions fails");
    const unsigned char *bytes = (const unsigned char *)regions;
    int untouched = 1;
    for (size_t i = 0; i < sizeof regions; ++i) untouched &= bytes[i] == 0x5a;
    expect(untouched, "a failed detection leaves the records alone");
    expect(sizeof(lv_region) == 4 * sizeof(double), "lv_region is four doubles");

    printf("%d passed, %d failed\n", 5 - failures, failures);
    return failures ? 1 : 0;
}
