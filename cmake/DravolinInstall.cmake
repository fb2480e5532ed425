# What `cmake --install` lays out besides the programs (which each CMakeLists.txt installs to
# bin/): the demo installation, the menu entry, the icons, the AppStream data, a manual page per
# program and the Debian documentation files; and the .deb that cpack makes of it all.
include(GNUInstallDirs)

option(DRAVOLIN_INSTALL_DEMO "Install the demo line (written by dravolin-make-demo at install time)"
       ON)

set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(DRAVOLIN_APP_ID org.dravolin.Dravolin)

# Manual pages, from each program's --help; the program's own page also gets its keys and
# folders.
set(man_pages
  "dravolin|drive a train along a recorded line video"
  "dravolin-author|make a line from a cab ride's footage and GPS track"
  "dravolin-check|check a train and a line without driving"
  "dravolin-curve|print the run curve of a train on a straight line"
  "dravolin-drive|drive a train in virtual time from a script and print a trace"
  "dravolin-make-demo|write the demo line and its two trains"
  "dravolin-package|make, install, list, remove and verify line packages"
  "dravolin-timer-check|measure how regular the simulation timer runs"
  "dravolin-video|show the frames of a line video and how fast they decode")
set(man_files)
foreach(entry IN LISTS man_pages)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 summary)
  set(out ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
  set(sections ${packaging_dir}/${program}-man-sections.roff)
  if(NOT EXISTS ${sections})
    set(sections "")
  endif()
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
            "-DSUMMARY=${summary}" -DVERSION=${PROJECT_VERSION} -DOUT=${out}
            "-DSECTIONS=${sections}" -P ${PROJECT_SOURCE_DIR}/cmake/MakeManPage.cmake
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/MakeManPage.cmake ${sections}
    COMMENT "Manual page of ${program}"
    VERBATIM)
  list(APPEND man_files ${out})
endforeach()

# The Debian changelog, compressed without a time stamp so that every build gives the same bytes.
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND sh -c "gzip -9n < '${packaging_dir}/changelog' > '${changelog}'"
  DEPENDS ${packaging_dir}/changelog
  VERBATIM)
# The README, compressed as Debian wants documentation, with the pictures it shows.
set(readme ${CMAKE_BINARY_DIR}/packaging/README.md.gz)
add_custom_command(OUTPUT ${readme}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND sh -c "gzip -9n < '${PROJECT_SOURCE_DIR}/README.md' > '${readme}'"
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md
  VERBATIM)
add_custom_target(dravolin_install_files ALL DEPENDS ${man_files} ${changelog} ${readme})

install(FILES ${man_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_dir}/dravolin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The line package's MIME type (*.dravolin), which the desktop entry opens; shared-mime-info's
# trigger brings the database up to date when the package is installed.
install(FILES ${packaging_dir}/dravolin-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME dravolin.xml)
install(FILES ${packaging_dir}/${DRAVOLIN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 48 128 256)
  install(FILES ${packaging_dir}/icons/dravolin-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME dravolin.png)
endforeach()
install(FILES ${packaging_dir}/icons/dravolin.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${packaging_dir}/copyright ${changelog} ${readme}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/dravolin)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/dravolin/docs
        FILES_MATCHING PATTERN "*.png")
if(DRAVOLIN_INSTALL_DEMO)
  install(CODE "
    set(DEMO_GENERATOR \"$<TARGET_FILE:dravolin-make-demo>\")
    set(DEMO_CACHE \"${CMAKE_BINARY_DIR}/demo\")
    set(DEMO_DESTINATION \"${CMAKE_INSTALL_DATADIR}/dravolin\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/InstallDemo.cmake\")")
endif()

# The .deb: `cpack --config build/rel/CPackConfig.cmake -B build/rel/package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dravolin)
set(CPACK_PACKAGE_VENDOR "The Dravolin developers")
set(CPACK_PACKAGE_CONTACT
    "Dravolin maintainers <maintainers@users.noreply.c-seed-49ec1c8c.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "train driving simulator on recorded line videos")
# The long description, one line of the control file per line here.
set(CPACK_PACKAGE_DESCRIPTION
    "The scenery is a recorded video of a line whose picture follows the simulated
train; around it a cab panel with gauges, lamps, signals, a clock and a
timetable. It simulates traction, brakes, station stops and Japanese train
protection (ATS, ATC), with the sounds of the train. Trains and lines are data
folders; a demo line with two trains is included, with the authoring tools that
check trains and lines and drive them from scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Not "games": Debian keeps the programs of that section in /usr/games, these are in /usr/bin.
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the window system's platform plugins,
# the Japanese font of the cab and the menus, Qt's own texts (file dialogs, message box buttons)
# in the program's language (the program's own translations are built into it), and the zone
# database the line maker reads.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-noto-cjk, qt6-translations-l10n, tzdata")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_THREADS 0)  # xz on every core
include(CPack)
