# What `cmake --install` puts in place for programs built against the library:
#
#   find_package(Tallygate)    Tallygate::terminal     the terminal API (static archives)
#                              Tallygate::connect_v70  the shared library TALLYGATE_V70
#                              Tallygate::client       creation by programmatic identifier
#   pkg-config                 tallygate-terminal, tallygate-connect-v70, tallygate (the client)
#
# Every file installed finds the prefix from its own place, so an install
# with --prefix or DESTDIR works wherever it is moved.
include(CMakePackageConfigHelpers)

# The terminal API's archive and those it links, each before the ones it
# needs (the order of a static link line).
set(tallygate_terminal_archives
  tallygate_terminal tallygate_protocol tallygate_text tallygate_frame tallygate_transport
  tallygate_component)

# Tallygate::<name without the prefix>: Tallygate::terminal, Tallygate::frame...
foreach(target IN LISTS tallygate_terminal_archives ITEMS tallygate_client)
  string(REPLACE "tallygate_" "" name ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
endforeach()
set_target_properties(TALLYGATE_V70 PROPERTIES EXPORT_NAME connect_v70)
# terminal.h needs C++20 (std::stop_token, std::chrono::local_seconds).
target_compile_features(tallygate_terminal INTERFACE cxx_std_20)
# TALLYGATE_V70 itself is installed by link/CMakeLists.txt, ahead of the
# registration step of tools/ that loads it.
target_include_directories(TALLYGATE_V70 INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS ${tallygate_terminal_archives} tallygate_client EXPORT TallygateTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
# The public headers: each folder holds only what callers include.
install(DIRECTORY
          ${PROJECT_SOURCE_DIR}/component/include/
          ${PROJECT_SOURCE_DIR}/link/transport/include/
          ${PROJECT_SOURCE_DIR}/link/terminal/include/
          ${PROJECT_SOURCE_DIR}/link/connect/include/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

# ---- CMake package ---------------------------------------------------------

set(tallygate_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Tallygate)
install(EXPORT TallygateTargets NAMESPACE Tallygate:: DESTINATION ${tallygate_cmake_dir}
        COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TallygateConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TallygateConfig.cmake
  INSTALL_DESTINATION ${tallygate_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TallygateConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TallygateConfig.cmake
              ${PROJECT_BINARY_DIR}/TallygateConfigVersion.cmake
        DESTINATION ${tallygate_cmake_dir} COMPONENT development)

# ---- pkg-config ------------------------------------------------------------

# From <libdir>/pkgconfig back to the prefix, e.g. "../..".
file(RELATIVE_PATH TALLYGATE_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" TALLYGATE_PC_TO_PREFIX "${TALLYGATE_PC_TO_PREFIX}")
list(TRANSFORM tallygate_terminal_archives PREPEND "-l" OUTPUT_VARIABLE TALLYGATE_TERMINAL_LIBS)
list(JOIN TALLYGATE_TERMINAL_LIBS " " TALLYGATE_TERMINAL_LIBS)
foreach(template IN ITEMS ${PROJECT_SOURCE_DIR}/component/tallygate.pc.in
                          ${CMAKE_CURRENT_LIST_DIR}/pkgconfig/tallygate-terminal.pc.in
                          ${CMAKE_CURRENT_LIST_DIR}/pkgconfig/tallygate-connect-v70.pc.in)
  get_filename_component(pc_name ${template} NAME_WLE)
  configure_file(${template} ${PROJECT_BINARY_DIR}/pkgconfig/${pc_name} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${pc_name}
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
endforeach()
