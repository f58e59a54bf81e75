# Warnings every target of ours gets; KESTRAVA_WERROR (on in CI) makes them fatal.
function(kestrava_enable_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
        -Wcast-align -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
    if(KESTRAVA_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
