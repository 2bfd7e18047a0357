# nlohmann/json, header-only, from Debian's nlohmann-json3-dev: the one JSON
# writer of fwsend-ports --json and of fwsend-gang's report. Its headers are
# copied into the build tree, so that a cross build (MinGW) can use them
# without putting the host's /usr/include on its include path.
find_path(FWSEND_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include /usr/local/include
  NO_CMAKE_FIND_ROOT_PATH)
if(NOT FWSEND_NLOHMANN_JSON_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev (tools/need.sh does)")
endif()
set(FWSEND_JSON_INCLUDE ${CMAKE_BINARY_DIR}/third-party/include)
file(COPY ${FWSEND_NLOHMANN_JSON_DIR}/nlohmann DESTINATION ${FWSEND_JSON_INCLUDE})
add_library(fwsend_json INTERFACE)
target_include_directories(fwsend_json SYSTEM INTERFACE ${FWSEND_JSON_INCLUDE})
