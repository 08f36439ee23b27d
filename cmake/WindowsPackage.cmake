# The Windows release package: `cpack --config build/mingw/CPackConfig.cmake` in a
# built mingw build gives lumenfall-<version>-windows-x86.zip with the saver, the
# install note, the licences and SHA256SUMS; in a mingw64 build the same makes
# lumenfall-<version>-windows-x64.zip.
#
# The archive is reproducible: the staged files get one fixed modification time
# (SOURCE_DATE_EPOCH, or a fixed default when it is not set) before CPack packs them,
# and the saver itself carries no time stamp and no build path.
include_guard(GLOBAL)

set(LUMENFALL_PACKAGE_EPOCH_DEFAULT 1767225600)  # 2026-01-01 00:00:00 UTC
set(LUMENFALL_SOURCE ${PROJECT_SOURCE_DIR})

install(TARGETS lumenfall_scr RUNTIME DESTINATION . COMPONENT windows)

# Run by the install step into CPack's staging folder, after the saver is there.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/LumenfallWindowsStage.cmake CONTENT [=[
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
# Plain text for Notepad: CRLF line ends, and the licences named .txt.
foreach(pair "platform/win32/INSTALL.txt=INSTALL.txt" "LICENSE=LICENSE.txt"
             "data/LICENSE-font.txt=LICENSE-font.txt")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  file(READ "@LUMENFALL_SOURCE@/${from}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${root}/${to}" "${text}")
endforeach()
set(sums "")
foreach(name INSTALL.txt LICENSE-font.txt LICENSE.txt lumenfall.scr)
  file(SHA256 "${root}/${name}" sum)
  string(APPEND sums "${sum}  ${name}\n")
endforeach()
file(WRITE "${root}/SHA256SUMS" "${sums}")
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(NOT epoch MATCHES "^[0-9]+$")
  set(epoch @LUMENFALL_PACKAGE_EPOCH_DEFAULT@)
endif()
file(GLOB staged "${root}/*")
execute_process(COMMAND touch -h -d "@${epoch}" ${staged} "${root}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not set the time of the staged files")
endif()
]=] @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/LumenfallWindowsStage.cmake COMPONENT windows)

set(CPACK_GENERATOR "ZIP")
set(CPACK_PACKAGE_NAME "lumenfall")
set(CPACK_PACKAGE_VENDOR "Lumenfall developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_PACKAGE_FILE_NAME "lumenfall-${PROJECT_VERSION}-windows-x64")
else()
  set(CPACK_PACKAGE_FILE_NAME "lumenfall-${PROJECT_VERSION}-windows-x86")
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Only the saver's component, installed from the files already built.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Lumenfall;windows;/")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")

# CPack adds the files in the order the file system lists them, with their change
# and access times: pack them again with zip, sorted by name, with the one fixed
# time and no extra fields (zip -X), times in UTC.
find_program(LUMENFALL_ZIP zip)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/LumenfallWindowsRepack.cmake CONTENT [=[
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(NOT epoch MATCHES "^[0-9]+$")
  set(epoch @LUMENFALL_PACKAGE_EPOCH_DEFAULT@)
endif()
if(NOT EXISTS "@LUMENFALL_ZIP@")
  message(FATAL_ERROR "zip is not installed: the package cannot be made reproducible")
endif()
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  set(work "${zip}.sorted")
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${zip}" WORKING_DIRECTORY "${work}"
                  RESULT_VARIABLE failed)
  file(GLOB names RELATIVE "${work}" "${work}/*")
  list(SORT names)
  file(REMOVE "${zip}")
  if(NOT failed AND names)
    execute_process(COMMAND touch -h -d "@${epoch}" ${names} WORKING_DIRECTORY "${work}"
                    RESULT_VARIABLE failed)
  endif()
  if(NOT failed AND names)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC
                            "@LUMENFALL_ZIP@" -X -D -q -9 "${zip}" -- ${names}
                    WORKING_DIRECTORY "${work}" RESULT_VARIABLE failed)
  endif()
  file(REMOVE_RECURSE "${work}")
  if(failed OR NOT names OR NOT EXISTS "${zip}")
    message(FATAL_ERROR "could not repack ${zip}")
  endif()
endforeach()
]=] @ONLY)
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_BINARY_DIR}/LumenfallWindowsRepack.cmake")
include(CPack)
