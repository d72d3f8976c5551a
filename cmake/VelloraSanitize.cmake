# VELLORA_SANITIZE: a comma-separated list handed to -fsanitize=, for example
# "address,undefined" or "thread". Applies to every target of the build.
set(VELLORA_SANITIZE "" CACHE STRING "Sanitizers to build with (-fsanitize=...)")
if(VELLORA_SANITIZE)
    add_compile_options(-fsanitize=${VELLORA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${VELLORA_SANITIZE})
endif()
