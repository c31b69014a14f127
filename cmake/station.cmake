# The station program, tarnwick-station: its own core library (everything in
# src/station/ but its entry point) on top of tarnwick_core, with CLI11 for
# its command line and nlohmann-json for its JSON, both header-only.
file(GLOB TARNWICK_STATION_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/station/*.cpp)
list(FILTER TARNWICK_STATION_SOURCES EXCLUDE REGEX "/src/station/station_main\\.cpp$")

add_library(tarnwick_station_core STATIC ${TARNWICK_STATION_SOURCES})
target_link_libraries(tarnwick_station_core PUBLIC tarnwick_core)

if(WIN32)
  # The cross compiler must not see the build machine's /usr/include as a
  # whole: a folder of our own holds links to just the two libraries.
  set(STATION_INCLUDE_DIR ${CMAKE_BINARY_DIR}/station-include)
  file(MAKE_DIRECTORY ${STATION_INCLUDE_DIR})
  foreach(library CLI nlohmann)
    if(NOT EXISTS /usr/include/${library})
      message(FATAL_ERROR "/usr/include/${library} is missing: install libcli11-dev and nlohmann-json3-dev")
    endif()
    file(CREATE_LINK /usr/include/${library} ${STATION_INCLUDE_DIR}/${library} SYMBOLIC)
  endforeach()
  target_include_directories(tarnwick_station_core SYSTEM PUBLIC ${STATION_INCLUDE_DIR})
else()
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 CONFIG REQUIRED)
  find_package(Threads REQUIRED)
  target_link_libraries(tarnwick_station_core PUBLIC CLI11::CLI11 nlohmann_json::nlohmann_json
                                                     Threads::Threads)
endif()

add_executable(tarnwick-station ${PROJECT_SOURCE_DIR}/src/station/station_main.cpp)
target_link_libraries(tarnwick-station PRIVATE tarnwick_station_core)
if(WIN32)
  # Fully static: no MinGW runtime or winpthread DLL is needed at run time.
  target_link_options(tarnwick-station PRIVATE -static -static-libgcc -static-libstdc++)
endif()
