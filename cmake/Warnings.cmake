# lumenfall_warnings(target): the warning set for our own code.
function(lumenfall_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
    if(LUMENFALL_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
    # GCC 12 at -O3 takes ":" + std::to_string(n) (a short literal before a temporary
    # string) for an overlapping memcpy (GCC bug 105651, -Wrestrict): such texts are
    # written std::string(":").append(...) instead.
  endif()
endfunction()
