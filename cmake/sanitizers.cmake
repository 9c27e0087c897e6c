# LUMIVANE_SANITIZE builds every target, the engine included, with ASan and UBSan so that
# reports cover the whole process.
if(LUMIVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Sanitized code runs several times slower: tests scale their time limits by this factor,
# e.g. TIMEOUT ${...} computed with math(EXPR t "300 * ${LUMIVANE_TEST_TIMEOUT_SCALE}").
if(LUMIVANE_SANITIZE)
  set(LUMIVANE_TEST_TIMEOUT_SCALE 5)
else()
  set(LUMIVANE_TEST_TIMEOUT_SCALE 1)
endif()
