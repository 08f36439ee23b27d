# lumenfall_warnings(target): the warning set for our own code.
function(lumenfall_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
    if(LUMENFALL_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
    # GCC 12 reports std::string concatenation in optimised builds as overlapping
    # memcpy (GCC bug 105651); keep the warning visible but not fatal there.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-error=restrict)
    endif()
  endif()
endfunction()
