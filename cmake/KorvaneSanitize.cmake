# KORVANE_SANITIZE=address,undefined or thread instruments every target of the build.
if(KORVANE_SANITIZE)
  add_compile_options(-fsanitize=${KORVANE_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${KORVANE_SANITIZE})
  if(KORVANE_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()
