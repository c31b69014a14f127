# The station program, tarnwick-station: its own core library on top of
# tarnwick_core, with CLI11 for its command line and nlohmann-json for its
# JSON, both header-only. Its folders, lowest first (ARCHITECTURE.md):
# model and cfx, publish, views and requests, run, watch, commands; and the text and platform parts that
# only the station uses.
set(TARNWICK_STATION_SOURCES
  src/text/iso_time.cpp
  src/text/printable_text.cpp
  src/text/text_table.cpp
  src/text/trimmed_text.cpp
  src/station/model/flash_target.cpp
  src/station/model/modem_json.cpp
  src/station/model/modem_record.cpp
  src/station/model/record_json.cpp
  src/station/model/slot.cpp
  src/station/model/stage.cpp
  src/station/model/station_faults.cpp
  src/station/publish/amqp_message.cpp
  src/station/publish/amqp_publisher.cpp
  src/station/publish/amqp_sending_handler.cpp
  src/station/publish/broker_address.cpp
  src/station/publish/broker_secret.cpp
  src/station/publish/broker_tls.cpp
  src/station/cfx/cfx_endpoint.cpp
  src/station/cfx/cfx_envelope.cpp
  src/station/cfx/cfx_message.cpp
  src/station/cfx/cfx_resource.cpp
  src/station/cfx/cfx_work.cpp
  src/station/cfx/cfx_requests.cpp
  src/station/publish/outbox.cpp
  src/station/publish/outbox_listing.cpp
  src/station/publish/outbox_sender.cpp
  src/station/publish/publish_policy.cpp
  src/station/requests/cfx_body.cpp
  src/station/requests/cfx_endpoint.cpp
  src/station/requests/cfx_requester.cpp
  src/station/requests/mes_interlock.cpp
  src/station/requests/mes_status.cpp
  src/station/requests/request_listener.cpp
  src/station/requests/station_identity.cpp
  src/station/views/inventory_json.cpp
  src/station/views/inventory_table.cpp
  src/station/views/json_events.cpp
  src/station/views/line_writer.cpp
  src/station/views/live_table.cpp
  src/station/views/plain_lines.cpp
  src/station/views/record_file.cpp
  src/station/views/run_board.cpp
  src/station/views/state_colour.cpp
  src/station/views/summary.cpp
  src/station/views/watch_table.cpp
  src/station/run/answering_port.cpp
  src/station/run/event_queue.cpp
  src/station/run/flash_run.cpp
  src/station/run/image_hash.cpp
  src/station/run/image_source.cpp
  src/station/run/imei_query.cpp
  src/station/run/job_slots.cpp
  src/station/run/mes_link.cpp
  src/station/run/modem_probe.cpp
  src/station/run/target_choice.cpp
  src/station/run/port_questions.cpp
  src/station/run/result_message.cpp
  src/station/run/result_publishing.cpp
  src/station/run/run_output.cpp
  src/station/run/run_setup.cpp
  src/station/run/station_messages.cpp
  src/station/run/thread_start.cpp
  src/station/run/worker.cpp
  src/station/run/worker_sink.cpp
  src/station/watch/cycle_book.cpp
  src/station/watch/replug_verdict.cpp
  src/station/watch/slot_fail_rule.cpp
  src/station/watch/slots_file.cpp
  src/station/watch/station_state.cpp
  src/station/watch/verify_worker.cpp
  src/station/watch/watch_tracker.cpp
  src/station/commands/command_line.cpp
  src/station/commands/flash_command.cpp
  src/station/commands/flash_options.cpp
  src/station/commands/identity_option.cpp
  src/station/commands/list_command.cpp
  src/station/commands/mes_options.cpp
  src/station/commands/outbox_command.cpp
  src/station/commands/outbox_options.cpp
  src/station/commands/output_options.cpp
  src/station/commands/publish_options.cpp
  src/station/commands/station_environment.cpp
  src/station/commands/teach_command.cpp
  src/station/commands/teach_options.cpp
  src/station/commands/watch_command.cpp
  src/station/commands/watch_options.cpp)
# The station's platform parts (SHA-256, stop signals, terminal, synced
# record file, host name, build name), for this build's operating system.
if(WIN32)
  list(APPEND TARNWICK_STATION_SOURCES
    src/platform/win32/build_name-win32.cpp
    src/platform/win32/durable_file-win32.cpp
    src/platform/win32/file_lock-win32.cpp
    src/platform/win32/host_name-win32.cpp
    src/platform/win32/random_uuid-win32.cpp
    src/platform/win32/secrets-win32.cpp
    src/platform/win32/sha256-win32.cpp
    src/platform/win32/state_folder-win32.cpp
    src/platform/win32/stop_signals-win32.cpp
    src/platform/win32/synced_append_file-win32.cpp
    src/platform/win32/terminal-win32.cpp
    src/platform/win32/tls_files-win32.cpp
    src/platform/win32/wide_text-win32.cpp)
else()
  list(APPEND TARNWICK_STATION_SOURCES
    src/platform/posix/build_name-posix.cpp
    src/platform/posix/durable_file-posix.cpp
    src/platform/posix/file_lock-posix.cpp
    src/platform/posix/host_name-posix.cpp
    src/platform/posix/random_uuid-posix.cpp
    src/platform/posix/secrets-posix.cpp
    src/platform/posix/sha256-posix.cpp
    src/platform/posix/state_folder-posix.cpp
    src/platform/posix/stop_signals-posix.cpp
    src/platform/posix/synced_append_file-posix.cpp
    src/platform/posix/terminal-posix.cpp
    src/platform/posix/tls_files-posix.cpp)
endif()
# Qpid Proton C++ for the AMQP publisher (cmake/proton.cmake).
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
  # SHA-256 from the system's CNG provider; zlib (Debian's libz-mingw-w64-dev,
  # static) for gzip-compressed CFX bodies.
  find_library(TARNWICK_MINGW_ZLIB NAMES libz.a)
  if(NOT TARNWICK_MINGW_ZLIB)
    message(FATAL_ERROR "zlib for MinGW is missing: install libz-mingw-w64-dev")
  endif()
  target_link_libraries(tarnwick_station_core PUBLIC bcrypt ${TARNWICK_MINGW_ZLIB})
else()
  # SHA-256 from OpenSSL's libcrypto (EVP).
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  target_link_libraries(tarnwick_station_core PUBLIC OpenSSL::Crypto)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 CONFIG REQUIRED)
  find_package(Threads REQUIRED)
  # zlib for gzip-compressed CFX bodies (Debian's zlib1g-dev).
  find_package(ZLIB REQUIRED)
  target_link_libraries(tarnwick_station_core PUBLIC ZLIB::ZLIB)
  target_link_libraries(tarnwick_station_core PUBLIC CLI11::CLI11 nlohmann_json::nlohmann_json
                                                     Threads::Threads)
endif()

add_executable(tarnwick-station src/station/commands/station_main.cpp)
target_link_libraries(tarnwick-station PRIVATE tarnwick_station_core)
if(WIN32)
  # Fully static: no MinGW runtime or winpthread DLL is needed at run time.
  target_link_options(tarnwick-station PRIVATE -static -static-libgcc -static-libstdc++)
endif()

# The outbox benchmark's own program (bench/outbox.sh), Linux only.
if(NOT WIN32)
  add_executable(outbox-bench bench/outbox/outbox_bench.cpp)
  target_link_libraries(outbox-bench PRIVATE tarnwick_station_core)
endif()
