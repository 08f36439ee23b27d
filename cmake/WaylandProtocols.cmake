# lumenfall_wayland_protocols(target xml...): an object library of the client code that
# wayland-scanner generates from the protocol descriptions, with its headers
# ("<name>-client-protocol.h") on the include path of whatever links it. The generated
# C keeps wayland-scanner's own style, outside our warning set.
include_guard(GLOBAL)

find_package(PkgConfig)
if(PkgConfig_FOUND)
  pkg_check_modules(WAYLAND_CLIENT IMPORTED_TARGET GLOBAL wayland-client)
  pkg_get_variable(LUMENFALL_WAYLAND_PROTOCOLS wayland-protocols pkgdatadir)
endif()
find_program(LUMENFALL_WAYLAND_SCANNER wayland-scanner)
if(WAYLAND_CLIENT_FOUND AND LUMENFALL_WAYLAND_PROTOCOLS AND LUMENFALL_WAYLAND_SCANNER)
  set(LUMENFALL_HAVE_WAYLAND ON CACHE INTERNAL "")
else()
  set(LUMENFALL_HAVE_WAYLAND OFF CACHE INTERNAL "")
endif()

function(lumenfall_wayland_protocols target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target})
  file(MAKE_DIRECTORY ${dir})
  set(sources "")
  foreach(xml ${ARGN})
    get_filename_component(name ${xml} NAME_WE)
    set(header ${dir}/${name}-client-protocol.h)
    set(code ${dir}/${name}-protocol.c)
    # The layer shell names an argument "namespace", a C++ keyword: the header, which
    # is C, renames it (argument names are not part of the wire format).
    add_custom_command(
      OUTPUT ${header} ${code}
      COMMAND ${LUMENFALL_WAYLAND_SCANNER} client-header ${xml} ${header}
      COMMAND sed -i -e "s/\\bnamespace\\b/name_space/g" ${header}
      COMMAND ${LUMENFALL_WAYLAND_SCANNER} private-code ${xml} ${code}
      DEPENDS ${xml}
      COMMENT "Generating the ${name} protocol code"
      VERBATIM)
    list(APPEND sources ${header} ${code})
  endforeach()
  add_library(${target} OBJECT ${sources})
  target_include_directories(${target} PUBLIC ${dir})
  target_link_libraries(${target} PUBLIC PkgConfig::WAYLAND_CLIENT)
endfunction()
