# Sanitizer builds for the whole project. TESSARO_SANITIZE: AddressSanitizer +
# UndefinedBehaviorSanitizer, where undefined behaviour aborts so that a test cannot pass
# over it. TESSARO_SANITIZE_THREAD: ThreadSanitizer. The two cannot share one build.
if(TESSARO_SANITIZE AND TESSARO_SANITIZE_THREAD)
  message(FATAL_ERROR "TESSARO_SANITIZE and TESSARO_SANITIZE_THREAD need separate build folders")
endif()
if(TESSARO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
if(TESSARO_SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=thread)
endif()
