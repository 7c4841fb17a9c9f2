# Debian packages of a build, made by CPack's DEB generator, one package for
# each install component (scripts/package.sh runs it):
#
#   component    package             what
#   runtime      tallygate           TALLYGATE_V70 and rm.txt, tallygate, tallygate-regsvr,
#                                    tallygate-sim, their manual pages, bash completion
#   collector    tallygate-collector the service program, its systemd unit (not enabled),
#                                    the example configuration, its manual page
#   python       python3-tallygate   `import tallygate` for Debian's python3
#   development  tallygate-dev       headers, static archives, CMake package, pkg-config
#                                    files, the libTALLYGATE_V70.so link
#   demo         tallygate-demo      DemoConsole
#
# Every install() of the project names one of these components; a file
# installed without one would be left out of every package (package.sh
# refuses such a build).

set(CPACK_PACKAGE_NAME tallygate)
set(CPACK_PACKAGE_VENDOR "TALLYGATE developers")
set(CPACK_PACKAGE_CONTACT "TALLYGATE developers <tallygate@localhost>" CACHE STRING
    "Maintainer field of the Debian packages")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1 CACHE STRING
    "Debian revision of the packages (the part after the project's version)")
set(CPACK_GENERATOR DEB)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
# The files are staged under DESTDIR with the build's own prefix: the
# registration step of tools/CMakeLists.txt then leaves the system's store to
# the package's postinst.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime collector development)
if(TALLYGATE_BUILD_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
if(TALLYGATE_BUILD_DEMO)
  list(APPEND CPACK_COMPONENTS_ALL demo)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies on shared libraries come from the binaries themselves; those
# on the project's own packages from the components' DEPENDS, at the same
# version and revision.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Manual pages gzipped in the staged files, as Debian ships them.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianManPages.cmake)

# ---- Maintainer scripts ------------------------------------------------------

# packaging/debian/<package>/<script>.in, with the installed library's path
# and the system registration store filled in.
set(tallygate_debian_scripts ${PROJECT_BINARY_DIR}/packaging/debian)
set(TALLYGATE_DEBIAN_PACKAGE_LIBRARY
    "${CMAKE_INSTALL_FULL_LIBDIR}/$<TARGET_SONAME_FILE_NAME:TALLYGATE_V70>")
function(tallygate_debian_control package component)
  set(files)
  foreach(script IN LISTS ARGN)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/${package}/${script}.in
                   ${tallygate_debian_scripts}/${package}/${script}.configured @ONLY)
    file(GENERATE OUTPUT ${tallygate_debian_scripts}/${package}/${script}
         INPUT ${tallygate_debian_scripts}/${package}/${script}.configured)
    list(APPEND files ${tallygate_debian_scripts}/${package}/${script})
  endforeach()
  string(TOUPPER ${component} component)
  set(CPACK_DEBIAN_${component}_PACKAGE_CONTROL_EXTRA ${files} PARENT_SCOPE)
endfunction()

# ---- The packages ------------------------------------------------------------

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME tallygate)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION utils)
# A shlibs file, for dpkg-shlibdeps of programs linked to
# libTALLYGATE_V70.so.7 (only this package holds a library with a soname).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
"attendance terminal library TALLYGATE_V70 and its command-line tools
TALLYGATE talks to attendance and access-control terminals on an RS-485
serial bus or over TCP. This package holds the shared library TALLYGATE_V70
(the Connect_v70 object, created by name through the registration store,
/etc/tallygate/components, where the package registers it), its code tables,
and the programs tallygate (calls the library's members from a shell and
collects records), tallygate-regsvr (registers a component library) and
tallygate-sim (simulated terminals for trying things out).")
tallygate_debian_control(tallygate runtime postinst prerm postrm triggers)

set(CPACK_DEBIAN_COLLECTOR_PACKAGE_NAME tallygate-collector)
set(CPACK_DEBIAN_COLLECTOR_PACKAGE_SECTION net)
# The terminals' time zones are read from the system's zoneinfo.
set(CPACK_DEBIAN_COLLECTOR_PACKAGE_DEPENDS tzdata)
set(CPACK_DEBIAN_COLLECTOR_DESCRIPTION
"attendance terminal punch collector service
tallygate-collector polls a fleet of attendance terminals (RS-485 buses and
TCP) and keeps every punch exactly once in SQLite or PostgreSQL, with a web
dashboard and CSV/JSON export. The systemd unit tallygate-collector.service
is installed but not enabled: write /etc/tallygate/collector.toml from
/usr/share/doc/tallygate-collector/examples/collector.example.toml, then
run systemctl enable --now tallygate-collector.")
tallygate_debian_control(tallygate-collector collector prerm postrm)

# The module is built for one interpreter's ABI (_tallygate.cpython-3XY-...).
if(TALLYGATE_BUILD_PYTHON)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} -c "import sys; print('%d.%d' % sys.version_info[:2])"
    OUTPUT_VARIABLE tallygate_python_version OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT tallygate_python_version MATCHES "^3\\.([0-9]+)$")
    message(FATAL_ERROR "python3-tallygate: cannot tell the version of ${Python3_EXECUTABLE}")
  endif()
  math(EXPR tallygate_python_next "${CMAKE_MATCH_1} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${tallygate_python_version}~), python3 (<< 3.${tallygate_python_next})")
endif()
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-tallygate)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
"attendance terminal API for Python 3
The Python module tallygate talks to attendance and access-control terminals
on an RS-485 serial bus or over TCP: record counts, records, cards, clocks.")
tallygate_debian_control(python3-tallygate python postinst prerm)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME tallygate-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
"attendance terminal library TALLYGATE_V70: development files
Headers, static archives, the CMake package (find_package(Tallygate): the
targets Tallygate::terminal, Tallygate::connect_v70 and Tallygate::client)
and pkg-config files (tallygate-terminal, tallygate-connect-v70, tallygate)
for programs built against TALLYGATE.")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME tallygate-demo)
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION misc)
# Loaded at run time, where dpkg-shlibdeps does not look: the Qt platform
# plugins (xcb, wayland) and the font of the window's Chinese text.
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-wqy-microhei")
set(CPACK_DEBIAN_DEMO_DESCRIPTION
"attendance terminal demonstration console (Qt 6)
DemoConsole is the operator's one-window program: it creates the TALLYGATE_V70
object by name and calls every member of it against a terminal.")

include(CPack)

cpack_add_component(runtime DISPLAY_NAME "Library and tools")
cpack_add_component(collector DISPLAY_NAME "Punch collector" DEPENDS runtime)
cpack_add_component(python DISPLAY_NAME "Python module")
cpack_add_component(development DISPLAY_NAME "Development files" DEPENDS runtime)
cpack_add_component(demo DISPLAY_NAME "DemoConsole" DEPENDS runtime)
