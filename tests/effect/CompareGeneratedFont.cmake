# Runs the font generator into the build folder and compares its output byte for byte
# with the committed data/lumenfall_font.bin.
# Run as: cmake -DGENERATOR=... -DSOURCE=... -DOUTPUT=... -DEXPECTED=... -P CompareGeneratedFont.cmake
# Without the generator or the source face the test is skipped ("SKIP:"), except in CI
# (CI=true), where it fails.
set(missing "")
if(NOT GENERATOR OR NOT EXISTS "${GENERATOR}")
  set(missing "the font generator was not built (FreeType missing: install libfreetype-dev)")
elseif(NOT EXISTS "${SOURCE}")
  set(missing "the source face ${SOURCE} is missing (install fonts-dejavu-core)")
endif()
if(missing)
  if("$ENV{CI}" STREQUAL "true")
    message(FATAL_ERROR "${missing}")
  endif()
  message("SKIP: ${missing}")
  return()
endif()

file(REMOVE "${OUTPUT}")
execute_process(COMMAND "${GENERATOR}" --source "${SOURCE}" --output "${OUTPUT}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the font generator failed (${result})")
endif()
file(SIZE "${OUTPUT}" generatedSize)
file(SIZE "${EXPECTED}" expectedSize)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${OUTPUT}" "${EXPECTED}"
                RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "the regenerated font (${generatedSize} bytes) differs from ${EXPECTED} "
                      "(${expectedSize} bytes); rebuild it with the lumenfall-font-data target")
endif()
message("regenerated font matches ${EXPECTED} (${generatedSize} bytes)")
