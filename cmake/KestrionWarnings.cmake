# Warnings for the project's own targets (never for third-party headers).
function(kestrion_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive-)
    if(KESTRION_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
                                           -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
                                           -Wnull-dereference -Wimplicit-fallthrough)
  if(KESTRION_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
