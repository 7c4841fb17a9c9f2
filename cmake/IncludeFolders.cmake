# Folders depend one way. Each library sees the headers of its own folder
# and those of the libraries it links, nothing else: its folder is reached
# through an include root in the build tree that holds only that folder,
#
#   <build>/include-roots/collector/store/collector/store -> <source>/collector/store
#
# so "collector/store/store.h" is found by whatever links
# tallygate_collector_store, and "collector/poll/fleet.h" is not found by the
# store. An include that reaches upward, or sideways into another program's
# folder, does not compile (tests/layers proves it).
#
#   tallygate_include_folder(TARGET FOLDER)   FOLDER relative to the source root
#
#   tallygate_include_folder(TARGET FOLDER INSIDE)
#
# A library publishes its folder to those that link it; an executable keeps
# it to itself. An INSIDE folder (a layer of the link library: its private
# headers, the wire protocol's frames, command codes and units among them)
# reaches only targets made where the variable TALLYGATE_LINK_INSIDE is on:
# the library's layers and what speaks or attacks the protocol in its own
# right (the simulator, the soak, the fuzzers, the benchmarks that count
# wire time, the tests). Every other program uses the library's public
# headers ("tallygate/...", each layer's include/ folder).
define_property(TARGET PROPERTY TALLYGATE_LINK_INSIDE
                INITIALIZE_FROM_VARIABLE TALLYGATE_LINK_INSIDE)
function(tallygate_include_folder target folder)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${folder})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(scope PRIVATE)
  elseif(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  else()
    set(scope PUBLIC)
  endif()
  if("INSIDE" IN_LIST ARGN)
    # Evaluated for the target that compiles: in a usage requirement,
    # $<TARGET_PROPERTY:prop> is the consumer's property.
    set(root "$<$<BOOL:$<TARGET_PROPERTY:TALLYGATE_LINK_INSIDE>>:${root}>")
  endif()
  target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${root}>)
endfunction()
