# Unit tests run wherever the program builds; the end-to-end tests drive the
# built programs from a POSIX host.
# The installed GoogleTest package where there is one; otherwise (a cross
# build, or Visual Studio without one) GoogleTest compiled from its sources,
# which Debian ships in /usr/src/googletest.
set(TELEGRAM_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources, where no package is found")
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  if(NOT EXISTS ${TELEGRAM_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest not found: install it, set TELEGRAM_GTEST_SOURCE_DIR to its sources, "
                        "or configure with -DTELEGRAM_BUILD_TESTS=OFF")
  endif()
  if(MINGW)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TELEGRAM_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
find_package(Threads REQUIRED)
include(GoogleTest)

function(telegram_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
endfunction()

telegram_test(telegram_test
  telegram/telegram_test.cc
  telegram/beam_count_report_test.cc
  telegram/block_value_report_test.cc
  telegram/report_output_test.cc
  telegram/report_reader_test.cc
  telegram/telegram_report_test.cc)
target_link_libraries(telegram_test PRIVATE report_test_support)
add_test(NAME telegram_test COMMAND telegram_test)

# The library's C interface, its C++ layer, and its pieces.
telegram_test(library_test library/telegram_api_test.cc library/sequence_counter_test.cc library/recorder_api_test.cc
  library/udp_receiver_test.cc library/capture_api_test.cc library/report_reader_api_test.cc
  library/source_sequence_api_test.cc)
target_include_directories(library_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(library_test PRIVATE tgr_static report_test_support capture_test_support Threads::Threads)
add_test(NAME library_test COMMAND library_test)
# A wait that never ends fails the test here, not at ctest's own 1500 s.
set_tests_properties(library_test PROPERTIES TIMEOUT 120)
# Memory that cannot be had, inside the C interface: a program of its own,
# since it replaces operator new.
telegram_test(library_memory_test library/memory_failure_test.cc)
target_include_directories(library_memory_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(library_memory_test PRIVATE tgr_static capture_test_support)
add_test(NAME library_memory_test COMMAND library_memory_test)
if(WIN32)
  # A C example against the DLL, as a Windows program of a user's would be
  # built (MinGW) and run (under Wine, here).
  enable_language(C)
  add_executable(example_report_telegram library/examples/report_telegram.c)
  target_link_libraries(example_report_telegram PRIVATE tgr)
  target_link_options(example_report_telegram PRIVATE -static)
  add_test(NAME library_example_test COMMAND example_report_telegram)
  set_tests_properties(library_example_test PROPERTIES
    PASS_REGULAR_EXPRESSION "tgr ${PROJECT_VERSION}: type 6, scan 7, block 0, 4 values\r*\n--> Telegram Type: 6\r*\n[^\n]*BlockNo:0\r*\n\r*\n1\t2\t10000\t65535\t")
endif()
if(NOT WIN32 AND NOT TELEGRAM_SANITIZE)
  # Installed, then built on from a project of its own (needs cc, c++,
  # cmake and pkg-config, as a user's machine has). Not in a sanitized
  # build, whose library needs the sanitizers' runtimes in whatever links it.
  add_test(NAME library_package_test
    COMMAND bash ${PROJECT_SOURCE_DIR}/library/installed_package_test.sh ${CMAKE_BINARY_DIR}
      ${PROJECT_SOURCE_DIR}/library/examples $<TARGET_FILE:telegram-sender>)
  set_tests_properties(library_package_test PROPERTIES TIMEOUT 300)
endif()

# The shared library's binary interface against its baseline
# (library/abi/tgr.abi), read by libabigail from a build with debug
# information by GCC, the compiler the baseline was made with.
if(NOT WIN32 AND NOT TELEGRAM_SANITIZE AND TARGET tgr AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
   AND CMAKE_BUILD_TYPE MATCHES "^(RelWithDebInfo|Debug)$")
  add_test(NAME abi_test COMMAND bash ${PROJECT_SOURCE_DIR}/library/abi/abi_check.sh $<TARGET_FILE:tgr>
    ${CMAKE_BINARY_DIR}/generated)
  set_tests_properties(abi_test PROPERTIES SKIP_RETURN_CODE 77)
endif()

# The Python package, with the examples of its documentation. pytest's
# own exit status fails the test when no test was collected (5) as well.
if(TELEGRAM_PYTHON)
  add_test(NAME python_test COMMAND ${TELEGRAM_PYTHON_EXECUTABLE} -m pytest -q -p no:cacheprovider
    ${PROJECT_SOURCE_DIR}/python/tests)
  set_tests_properties(python_test PROPERTIES TIMEOUT 300 RESOURCE_LOCK udp_port_9999
    ENVIRONMENT "PYTHONPATH=${TELEGRAM_PYTHON_DIR};TELEGRAM_BIN=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1")
endif()

# telegram-record's pieces: its lines of CSV and JSON, the queue to standard
# output, its words, its options, its rotating recordings and its sources.
telegram_test(record_unit_test record/telegram_lines_test.cc record/datagram_queue_test.cc record/run_summary_test.cc
  record/record_options_test.cc record/recording_test.cc net/source_address_test.cc record/source_counts_test.cc
  record/broker_url_test.cc)
target_link_libraries(record_unit_test PRIVATE record_lib)
add_test(NAME record_unit_test COMMAND record_unit_test)

# Reading captures, and the UDP datagrams in them.
add_library(capture_test_support STATIC capture/capture_writer_test_util.cc)
target_include_directories(capture_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(capture_test_support PRIVATE ${PROJECT_WARNINGS})
telegram_test(capture_test capture/capture_file_test.cc capture/udp_datagrams_test.cc capture/pcapng_writer_test.cc)
target_link_libraries(capture_test PRIVATE capture capture_test_support report_test_support)
add_test(NAME capture_test COMMAND capture_test)

# The pictures of telegram-plot.
add_library(plot_test_support STATIC plot/picture_check_test_util.cc)
target_include_directories(plot_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(plot_test_support PUBLIC plot_lib)
target_compile_options(plot_test_support PRIVATE ${PROJECT_WARNINGS})
set(PLOT_TWIN_TESTS)
if(NOT WIN32)
  set(PLOT_TWIN_TESTS plot/input_read-posix_test.cc)
endif()
telegram_test(plot_test plot/block_reader_test.cc plot/block_picture_test.cc plot/block_data_test.cc
  plot/block_store_test.cc plot/host_check_test.cc ${PLOT_TWIN_TESTS} plot/output_file_test.cc
  plot/telegram_input_test.cc)
target_link_libraries(plot_test PRIVATE plot_test_support report_test_support)
add_test(NAME plot_test COMMAND plot_test)

# The loop against a scripted socket layer, defined by the test itself.
telegram_test(receive_loop_test receiver/receive_loop_test.cc)
target_link_libraries(receive_loop_test PRIVATE receive_loop socket_error_words report_test_support)
add_test(NAME receive_loop_test COMMAND receive_loop_test)

# The command line reader, with the plot's options.
telegram_test(command_line_test cli/command_line_test.cc)
target_link_libraries(command_line_test PRIVATE plot_lib)
add_test(NAME command_line_test COMMAND command_line_test)

# The sender's command line, its made-up scans and its pacing.
telegram_test(sender_test sender/sender_options_test.cc sender/scan_source_test.cc sender/paced_sending_test.cc
  sender/capture_source_test.cc)
target_link_libraries(sender_test PRIVATE sender_lib capture_test_support)
add_test(NAME sender_test COMMAND sender_test)

# The standard streams' platform twin.
telegram_test(standard_output_test receiver/standard_output_test.cc)
target_link_libraries(standard_output_test PRIVATE standard_output report_test_support)
add_test(NAME standard_output_test COMMAND standard_output_test)

# The socket layer and the waits on it. Tests that bind UDP port 9999 run
# one after another.
telegram_test(socket_test net/socket_test.cc net/socket-${TWIN}_test.cc receiver/waits_test.cc)
target_link_libraries(socket_test PRIVATE waits sender_lib)
add_test(NAME socket_test COMMAND socket_test)
set_tests_properties(socket_test PROPERTIES RESOURCE_LOCK udp_port_9999)

if(NOT WIN32)
  # The programs together, as a user runs them: the receiver, the demo, the
  # sender's command line, and the receiver under hostile conditions.
  telegram_test(end_to_end_test tests/receiver_end_to_end_test.cc tests/demo_test.cc
    tests/sender_command_line_test.cc tests/hostile_conditions_test.cc tests/lost_datagrams_test.cc
    tests/replay_test.cc tests/plot_test.cc tests/plot_serve_test.cc tests/dissector_facts_test.cc
    tests/end_to_end_test_util.cc bench/port_drops.cc)
  target_link_libraries(end_to_end_test PRIVATE sender_lib report_test_support capture_test_support plot_test_support util
    Threads::Threads)
  target_compile_definitions(end_to_end_test PRIVATE TELEGRAM_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME end_to_end_test COMMAND end_to_end_test)
  set_tests_properties(end_to_end_test PROPERTIES
    RESOURCE_LOCK udp_port_9999
    TIMEOUT 600
    ENVIRONMENT "TELEGRAM_RECEIVER=$<TARGET_FILE:telegram-receiver>;TELEGRAM_SENDER=$<TARGET_FILE:telegram-sender>;TELEGRAM_PLOT=$<TARGET_FILE:telegram-plot>;TELEGRAM_VERSION=${PROJECT_VERSION}")

  # telegram-plot's page in a real browser: Debian's chromium, driven by
  # playwright-core from tests/browser (scripts/setup.sh installs both).
  # Skipped where either is missing; under CI=true that fails instead.
  find_program(NODE_PROGRAM node)
  if(NODE_PROGRAM)
    add_test(NAME plot_page_test COMMAND ${NODE_PROGRAM} ${PROJECT_SOURCE_DIR}/tests/browser/plot_page_test.mjs)
    set_tests_properties(plot_page_test PROPERTIES
      RESOURCE_LOCK udp_port_9999
      TIMEOUT 300
      SKIP_RETURN_CODE 77
      ENVIRONMENT "TELEGRAM_RECEIVER=$<TARGET_FILE:telegram-receiver>;TELEGRAM_SENDER=$<TARGET_FILE:telegram-sender>;TELEGRAM_PLOT=$<TARGET_FILE:telegram-plot>")
  endif()

  # The packet analyser and real captures: the dissector and the replay
  # against the receiver's own report (needs root, tshark, dumpcap, editcap).
  add_executable(send-datagrams tests/send_datagrams.cc)
  target_link_libraries(send-datagrams PRIVATE sender_lib report_test_support)
  target_compile_options(send-datagrams PRIVATE ${PROJECT_WARNINGS})
  add_test(NAME analyser_test
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/analyser_test.sh $<TARGET_FILE:telegram-receiver>
      $<TARGET_FILE:telegram-sender> $<TARGET_FILE:send-datagrams> ${PROJECT_SOURCE_DIR}/dissector/telegram.lua
      ${PROJECT_SOURCE_DIR}/fuzz/corpus/telegram)
  set_tests_properties(analyser_test PROPERTIES SKIP_RETURN_CODE 77 RESOURCE_LOCK udp_port_9999 TIMEOUT 600)

  # telegram-record as users run it, in network namespaces of its own.
  add_test(NAME record_test
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/record_test.sh $<TARGET_FILE:telegram-record>
      $<TARGET_FILE:telegram-receiver> $<TARGET_FILE:telegram-sender> ${PROJECT_SOURCE_DIR}/dissector/telegram.lua
      $<TARGET_FILE:telegram-plot>)
  set_tests_properties(record_test PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)

  # The same suite against a Windows build, its receiver and its sender run
  # under Wine: TELEGRAM_WINDOWS_DIR is that build, TELEGRAM_WINE the loader.
  set(TELEGRAM_WINDOWS_DIR "" CACHE PATH "Windows build whose programs the end-to-end suite runs under Wine")
  set(TELEGRAM_WINE "wine" CACHE FILEPATH "Wine loader for the Windows programs")
  if(TELEGRAM_WINDOWS_DIR)
    add_test(NAME end_to_end_test_wine COMMAND end_to_end_test)
    set_tests_properties(end_to_end_test_wine PROPERTIES
      LABELS windows
      RESOURCE_LOCK udp_port_9999
      TIMEOUT 900
      ENVIRONMENT "TELEGRAM_RECEIVER=${TELEGRAM_WINDOWS_DIR}/telegram-receiver.exe;TELEGRAM_RECEIVER_LAUNCHER=${TELEGRAM_WINE};TELEGRAM_TEXT_MODE=1;TELEGRAM_SENDER=${TELEGRAM_WINDOWS_DIR}/telegram-sender.exe;TELEGRAM_SENDER_LAUNCHER=${TELEGRAM_WINE};TELEGRAM_PLOT=${TELEGRAM_WINDOWS_DIR}/telegram-plot.exe;TELEGRAM_PLOT_LAUNCHER=${TELEGRAM_WINE};TELEGRAM_DEMO_SCRIPT=${TELEGRAM_WINDOWS_DIR}/demo.cmd;TELEGRAM_VERSION=${PROJECT_VERSION}")
    # telegram-record.exe: a run recorded, and Ctrl-C while its reader reads
    # nothing. On a port the system chooses: no lock needed.
    add_test(NAME record_windows_test
      COMMAND bash ${PROJECT_SOURCE_DIR}/tests/record_windows_test.sh ${TELEGRAM_WINE}
        ${TELEGRAM_WINDOWS_DIR}/telegram-record.exe $<TARGET_FILE:telegram-sender>)
    set_tests_properties(record_windows_test PROPERTIES LABELS windows TIMEOUT 120)
  endif()

  # The Windows programs as a Windows user gets them: console executables
  # of the right width that import nothing but system DLLs.
  set(TELEGRAM_WIN32_DIR "" CACHE PATH "32-bit Windows build whose executables are checked")
  set(TELEGRAM_WIN64_DIR "" CACHE PATH "64-bit Windows build whose executables are checked")
  find_program(TELEGRAM_OBJDUMP NAMES objdump x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump)
  foreach(width 32 64)
    if(TELEGRAM_WIN${width}_DIR)
      set(format PE32)
      if(width EQUAL 64)
        set(format PE32+)
      endif()
      add_test(NAME windows_executable_test_${width}
        COMMAND bash ${PROJECT_SOURCE_DIR}/tests/windows_executable_test.sh ${format} ${PROJECT_VERSION}
          ${TELEGRAM_WIN${width}_DIR}/telegram-receiver.exe ${TELEGRAM_WIN${width}_DIR}/telegram-sender.exe
          ${TELEGRAM_WIN${width}_DIR}/telegram-plot.exe ${TELEGRAM_WIN${width}_DIR}/telegram-record.exe)
      set_tests_properties(windows_executable_test_${width} PROPERTIES
        LABELS windows
        ENVIRONMENT "OBJDUMP=${TELEGRAM_OBJDUMP}")
    endif()
  endforeach()
endif()
