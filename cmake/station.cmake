# The station program, tarnwick-station: its own core library (everything in
# src/station/ but its entry point) on top of tarnwick_core, with CLI11 for
# its command line and nlohmann-json for its JSON, both header-only.
file(GLOB TARNWICK_STATION_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/station/*.cpp)
list(FILTER TARNWICK_STATION_SOURCES EXCLUDE REGEX "/src/station/station_main\\.cpp$")
# The station's platform parts (SHA-256, stop signals, terminal, synced
# record file, host name), for this build's operating system.
list(FILTER TARNWICK_STATION_PLATFORM_SOURCES INCLUDE REGEX "${TARNWICK_STATION_PLATFORM_REGEX}")
if(WIN32)
  list(FILTER TARNWICK_STATION_PLATFORM_SOURCES EXCLUDE REGEX "/src/platform/posix/")
else()
  list(FILTER TARNWICK_STATION_PLATFORM_SOURCES EXCLUDE REGEX "/src/platform/win32/")
endif()
list(APPEND TARNWICK_STATION_SOURCES ${TARNWICK_STATION_PLATFORM_SOURCES})
# Publishing results to the factory's AMQP broker.
list(APPEND TARNWICK_STATION_SOURCES
  ${PROJECT_SOURCE_DIR}/src/station/publish/amqp_publisher.cpp
  ${PROJECT_SOURCE_DIR}/src/station/publish/amqp_sending_handler.cpp
  ${PROJECT_SOURCE_DIR}/src/station/publish/broker_address.cpp
  ${PROJECT_SOURCE_DIR}/src/station/publish/publish_policy.cpp)
include(${PROJECT_SOURCE_DIR}/cmake/proton.cmake)

add_library(tarnwick_station_core STATIC ${TARNWICK_STATION_SOURCES})
target_link_libraries(tarnwick_station_core PUBLIC tarnwick_core tarnwick_proton)

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
  # SHA-256 from the system's CNG provider.
  target_link_libraries(tarnwick_station_core PUBLIC bcrypt)
else()
  # SHA-256 from OpenSSL's libcrypto (EVP).
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  target_link_libraries(tarnwick_station_core PUBLIC OpenSSL::Crypto)
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
