# AddressSanitizer + UndefinedBehaviorSanitizer for the whole build, switched on by
# TESSARO_SANITIZE. Undefined behaviour aborts so that a test cannot pass over it.
if(TESSARO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
