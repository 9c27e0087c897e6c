# LUMIVANE_SANITIZE builds every target, the engine included, with ASan and UBSan so that
# reports cover the whole process.
if(LUMIVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
