# Warnings for every target of the project. -DTALLYGATE_WERROR=ON makes them
# errors, as CI builds; it is off by default so that a compiler newer than
# CI's, with warnings of its own, still builds. The environment variable
# TALLYGATE_WERROR gives the default of a new build folder, so that a build a
# script makes on its own (fuzz/run.sh) follows the script that called it.
if(DEFINED ENV{TALLYGATE_WERROR})
  set(tallygate_werror_default $ENV{TALLYGATE_WERROR})
else()
  set(tallygate_werror_default OFF)
endif()
option(TALLYGATE_WERROR "Treat compiler warnings as errors" ${tallygate_werror_default})
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
                    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
                    $<$<COMPILE_LANGUAGE:CXX>:-Woverloaded-virtual>)
if(TALLYGATE_WERROR)
  add_compile_options(-Werror)
endif()
# GCC 12 at -O3 reports overlaps and bounds inside libstdc++'s own string and
# vector code (std::string concatenation, insert at the end of a small
# vector) that cannot happen; they stay visible as warnings but do not fail
# the build.
if(TALLYGATE_WERROR AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND
   CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-error=restrict -Wno-error=array-bounds -Wno-error=stringop-overflow)
endif()
