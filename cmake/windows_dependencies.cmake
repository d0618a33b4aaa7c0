# The cross build's own view of the libraries it takes from the build host:
# the header-only CLI11 and nlohmann-json through a folder that holds only
# them (never the host's whole include folder), GoogleTest from its sources.

set(TAMRO_HOST_INCLUDE_DIR /usr/include CACHE PATH
  "Where the build host keeps the CLI and nlohmann header folders")
set(TAMRO_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
  "GoogleTest sources, built with the cross compiler")

# Resources are compiled by windres.
enable_language(RC)

set(tamro_header_only_dir ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${tamro_header_only_dir}/include)

# Each package gets a folder with its headers and a package file naming
# them, so that the ordinary find_package calls find them.
function(tamro_header_only_package package target header_folder)
  set(include_dir ${tamro_header_only_dir}/include/${package})
  file(MAKE_DIRECTORY ${include_dir})
  if(NOT EXISTS ${include_dir}/${header_folder})
    file(CREATE_LINK ${TAMRO_HOST_INCLUDE_DIR}/${header_folder} ${include_dir}/${header_folder}
      SYMBOLIC)
  endif()
  file(WRITE ${tamro_header_only_dir}/${package}/${package}Config.cmake
    "if(NOT TARGET ${target})\n"
    "  add_library(${target} INTERFACE IMPORTED)\n"
    "  set_target_properties(${target} PROPERTIES\n"
    "    INTERFACE_INCLUDE_DIRECTORIES \"${include_dir}\"\n"
    "    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES \"${include_dir}\")\n"
    "endif()\n")
  set(${package}_DIR ${tamro_header_only_dir}/${package} CACHE PATH "" FORCE)
endfunction()

tamro_header_only_package(CLI11 CLI11::CLI11 CLI)
tamro_header_only_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann)

# Wine runs the test programs; a fresh prefix of our own lives in the build tree.
find_program(TAMRO_WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(TAMRO_WINE_LOADER NAMES wine)
set(TAMRO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
