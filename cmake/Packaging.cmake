# Installing, and the packages (scripts/package.sh):
# - Linux, the system's libraries: a .deb with the three programs, their man
#   pages, bash completion, the README, the licence as Debian's copyright
#   file, and the dissector in the packet analyser's global plugin folder;
# - Linux, TELEGRAM_PORTABLE (statically linked): a .tar.gz with the same,
#   for any x86-64 Linux, the dissector where a personal plugin folder has it
#   (lib/wireshark/plugins);
# - Windows: a .zip with the programs, the demo, the dissector, a
#   README.txt written for Windows users, and the licence.
include(GNUInstallDirs)

# The documents for those who build on the library, which the README links:
# in every package.
set(TELEGRAM_USER_DOCS docs/library.md docs/python.md)

# The licences of what is built into the programs beside ours, each shipped
# in every package: "file|name".
set(TELEGRAM_BUILT_IN_LICENCES "third_party/uplot/LICENSE|uPlot-LICENSE"
    "third_party/boost/LICENSE_1_0.txt|Boost-LICENSE_1_0")

# A licence's text from its line that starts with `start`, as Debian's
# copyright file holds it: each line indented, each empty line a lone dot.
function(debian_licence_body file start out)
  file(READ ${file} text)
  string(FIND "${text}" "${start}" body_start)
  string(SUBSTRING "${text}" ${body_start} -1 body)
  string(STRIP "${body}" body)
  string(REPLACE "\n\n" "\n.\n" body "${body}")
  string(REPLACE "\n" "\n " body " ${body}")
  set(${out} "${body}" PARENT_SCOPE)
endfunction()

set(CPACK_PACKAGE_NAME telegram-receiver)
set(CPACK_PACKAGE_VENDOR "telegram-receiver developers")
set(CPACK_PACKAGE_CONTACT "telegram-receiver developers <maintainers@users.noreply.c-seed-cfcffc8c.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Prints a decoded report of each telegram a scanner sends over UDP")
set(CPACK_PACKAGE_DESCRIPTION
    "telegram-receiver listens on UDP port 9999, receives the telegrams a scanner sends and prints a short decoded report of each one; telegram-sender plays the scanner or a recorded capture; telegram-plot shows the blocks of a report in the browser, live or from a folder; telegram-record receives for scripts and long runs, as CSV or JSON Lines, into pcapng recordings that rotate, and says what was lost; tgr, the library beneath them, with a C interface and a C++ layer, lets programs of your own do the same.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS telegram-receiver telegram-sender telegram-plot telegram-record RUNTIME DESTINATION .)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/demo.cmd DESTINATION .)
  # Plain text with Windows line ends, which Notepad and `type` show right.
  configure_file(packaging/README-windows.txt.in ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt dissector/telegram.lua
          DESTINATION .)
  install(FILES ${TELEGRAM_USER_DOCS} DESTINATION docs)
  foreach(licence IN LISTS TELEGRAM_BUILT_IN_LICENCES)
    string(REPLACE "|" ";" licence "${licence}")
    list(GET licence 0 from)
    list(GET licence 1 name)
    configure_file(${from} ${CMAKE_CURRENT_BINARY_DIR}/licences/${name}.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/licences/${name}.txt DESTINATION licences)
  endforeach()
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME telegram-receiver-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME telegram-receiver-${PROJECT_VERSION}-win32)
  endif()
else()
  install(TARGETS telegram-receiver telegram-sender telegram-plot telegram-record RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Man pages compressed, as man finds them and Debian wants them.
  set(pages)
  foreach(page telegram-receiver.1 telegram-sender.1 telegram-plot.1 telegram-record.1)
    configure_file(man/${page}.in ${CMAKE_CURRENT_BINARY_DIR}/${page} @ONLY)
    add_custom_command(OUTPUT ${page}.gz
                       COMMAND gzip -9n -c ${page} > ${page}.gz
                       DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${page}
                       WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    list(APPEND pages ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/telegram-receiver)
  install(FILES README.md DESTINATION ${doc})
  # Beside the README, where its links point.
  install(FILES ${TELEGRAM_USER_DOCS} DESTINATION ${doc}/docs)
  foreach(licence IN LISTS TELEGRAM_BUILT_IN_LICENCES)
    string(REPLACE "|" ";" licence "${licence}")
    list(GET licence 0 from)
    list(GET licence 1 name)
    install(FILES ${from} DESTINATION ${doc}/licences RENAME ${name})
  endforeach()
  # bash completion of the options, under each command's name, where
  # bash-completion looks for it.
  foreach(command telegram-sender telegram-plot telegram-record)
    install(FILES packaging/bash-completion DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
            RENAME ${command})
  endforeach()

  if(TELEGRAM_PORTABLE)
    install(FILES LICENSE DESTINATION ${doc})
    install(FILES dissector/telegram.lua DESTINATION lib/wireshark/plugins)
    # A README at the archive's top: what it holds, and the PATH to set.
    configure_file(packaging/README-linux.txt.in ${CMAKE_CURRENT_BINARY_DIR}/README @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README DESTINATION .)
    set(CPACK_GENERATOR TGZ)
    set(CPACK_PACKAGE_FILE_NAME telegram-receiver-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  else()
    # Debian's copyright file: the licence in its machine-readable format,
    # each line of the text indented and each empty line a lone full stop.
    debian_licence_body(LICENSE "Permission" licence_body)
    string(REGEX REPLACE "^Copyright \\(c\\) " "" TELEGRAM_COPYRIGHT_NOTICE "${TELEGRAM_COPYRIGHT}")
    set(TELEGRAM_LICENCE_BODY "${licence_body}")
    debian_licence_body(third_party/uplot/LICENSE "Permission" TELEGRAM_UPLOT_LICENCE_BODY)
    debian_licence_body(third_party/boost/LICENSE_1_0.txt "Boost Software" TELEGRAM_BOOST_LICENCE_BODY)
    configure_file(packaging/copyright.in ${CMAKE_CURRENT_BINARY_DIR}/copyright @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION ${doc})
    # The analyser's global plugin folder, as Debian builds it: below the
    # multiarch library folder.
    execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE TELEGRAM_MULTIARCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(TELEGRAM_MULTIARCH)
      set(plugins lib/${TELEGRAM_MULTIARCH}/wireshark/plugins)
    else()
      set(plugins lib/wireshark/plugins)
    endif()
    install(FILES dissector/telegram.lua DESTINATION ${plugins})
    # The analyser looks there only below /usr, where the .deb puts it; an
    # install elsewhere (/usr/local, by default) says where to copy it.
    install(CODE "if(NOT \"\${CMAKE_INSTALL_PREFIX}\" STREQUAL \"/usr\")
  message(STATUS \"The dissector is in \${CMAKE_INSTALL_PREFIX}/${plugins}/telegram.lua, where the packet analyser does not look: copy it into ~/.local/lib/wireshark/plugins/ (or install with --prefix /usr)\")
endif()")

    set(CPACK_GENERATOR DEB)
    # The Debian name of this machine's architecture (amd64, i386, arm64, ...).
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE TELEGRAM_DEB_ARCHITECTURE
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(TELEGRAM_DEB_ARCHITECTURE)
      set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${TELEGRAM_DEB_ARCHITECTURE})
    endif()
    set(CPACK_DEBIAN_FILE_NAME ${CPACK_PACKAGE_NAME}_${PROJECT_VERSION}_${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}.deb)
    set(CPACK_DEBIAN_PACKAGE_SECTION net)
    # The completion of the options works only where bash-completion is.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_PACKAGE_FILE_NAME telegram-receiver-${PROJECT_VERSION}-deb)
  endif()
endif()

# The library (tgr) for those who build on it, in every package: its shared
# and static libraries, its headers, a CMake package and a pkg-config file.
# The portable build links everything statically, so it ships the static
# library alone.
include(CMakePackageConfigHelpers)
set(TGR_TARGETS tgr_static)
if(TARGET tgr)
  list(APPEND TGR_TARGETS tgr)
endif()
install(TARGETS ${TGR_TARGETS} EXPORT tgrTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${TGR_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tgr)
set(tgr_cmake ${CMAKE_INSTALL_LIBDIR}/cmake/tgr)
install(EXPORT tgrTargets NAMESPACE tgr:: DESTINATION ${tgr_cmake})
configure_package_config_file(library/packaging/tgrConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/tgrConfig.cmake
                              INSTALL_DESTINATION ${tgr_cmake})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tgrConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tgrConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/tgrConfigVersion.cmake
        DESTINATION ${tgr_cmake})
if(NOT WIN32)
  # tgr.pc finds the prefix from where it lies: the way up from its folder.
  file(RELATIVE_PATH TGR_PC_UP /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
  string(REGEX REPLACE "/$" "" TGR_PC_UP "${TGR_PC_UP}")
  # Where only the static library is installed (the .tar.gz), a plain
  # `pkg-config --libs tgr` must give what it needs, not only --static.
  set(TGR_PC_STATIC_LIBS "")
  if(NOT TARGET tgr)
    set(TGR_PC_STATIC_LIBS " -lstdc++ -lm")
  endif()
  configure_file(library/packaging/tgr.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tgr.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tgr.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()
if(CPACK_GENERATOR STREQUAL DEB)
  # The shared library's shlibs file and the trigger that runs ldconfig.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()

# What the scripts need to know of this build (scripts/check-packages.sh
# sources it): the version and the name of the package it makes. Before
# include(CPack), which reuses CPACK_PACKAGE_FILE_NAME for the source package.
if(CPACK_GENERATOR STREQUAL DEB)
  set(TELEGRAM_PACKAGE_FILE ${CPACK_DEBIAN_FILE_NAME})
elseif(CPACK_GENERATOR STREQUAL TGZ)
  set(TELEGRAM_PACKAGE_FILE ${CPACK_PACKAGE_FILE_NAME}.tar.gz)
else()
  set(TELEGRAM_PACKAGE_FILE ${CPACK_PACKAGE_FILE_NAME}.zip)
endif()
configure_file(cmake/build-facts.sh.in ${CMAKE_CURRENT_BINARY_DIR}/build-facts.sh @ONLY)
include(CPack)
