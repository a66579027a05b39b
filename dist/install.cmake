# Installing: the programs, their data, the desktop entry with its icons and
# metainfo, the manual pages and the shell completion, each in its GNU place.
set(GRITTOR_FULL_DATADIR ${CMAKE_INSTALL_FULL_DATADIR}/grittor)
set(GRITTOR_FULL_LIBEXECDIR ${CMAKE_INSTALL_FULL_LIBEXECDIR})

install(TARGETS grittor grittor-cli grittor-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The full grittor-cli, which the front hands every command but render to.
install(TARGETS grittor-cli-full RUNTIME DESTINATION ${GRITTOR_CLI_FULL_DIR})

# Everything in data/ (the calibration target picture) and the demo plots.
install(DIRECTORY data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/grittor PATTERN README.md EXCLUDE)
install(FILES
  "samples/6x6 square.plt"
  samples/shapes-four-pens.plt
  samples/stencil-stone.plt
  DESTINATION ${CMAKE_INSTALL_DATADIR}/grittor/samples)

install(FILES dist/${GRITTOR_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(dist/${GRITTOR_APP_ID}.metainfo.xml.in ${PROJECT_BINARY_DIR}/dist/${GRITTOR_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dist/${GRITTOR_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon: drawn as dist/icons/grittor.svg, rendered once per size into the
# PNGs beside it (rsvg-convert -w N -h N grittor.svg -o NxN.png).
set(GRITTOR_ICON_SIZES 16 22 24 32 48 64 128 256)
foreach(size ${GRITTOR_ICON_SIZES})
  install(FILES dist/icons/${size}x${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${GRITTOR_APP_ID}.png)
endforeach()
install(FILES dist/icons/grittor.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${GRITTOR_APP_ID}.svg)

# Manual pages, with the version filled in and compressed as Debian wants them.
set(man_pages)
foreach(page grittor grittor-cli grittor-sim)
  configure_file(dist/man/${page}.1.in ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.1.gz
    COMMAND gzip -9 -n -k -f ${page}.1
    DEPENDS ${PROJECT_BINARY_DIR}/man/${page}.1
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/man
    VERBATIM)
  list(APPEND man_pages ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(grittor_man ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES dist/completion/grittor-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME grittor-cli)

# The package's copyright and changelog (Debian wants both, the changelog
# compressed and dated in RFC 2822 form).
install(FILES dist/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/grittor)
string(REGEX MATCH "^([0-9]+)-0?([0-9]+)-0?([0-9]+)$" _ ${GRITTOR_RELEASE_DATE})
set(year ${CMAKE_MATCH_1})
set(month ${CMAKE_MATCH_2})
set(day ${CMAKE_MATCH_3})
# Zeller's congruence: 0 is a Saturday.
set(zy ${year})
set(zm ${month})
if(zm LESS 3)
  math(EXPR zm "${zm} + 12")
  math(EXPR zy "${zy} - 1")
endif()
math(EXPR weekday "(${day} + (13 * (${zm} + 1)) / 5 + ${zy} + ${zy} / 4 - ${zy} / 100 + ${zy} / 400) % 7")
set(names Sat Sun Mon Tue Wed Thu Fri)
list(GET names ${weekday} weekday)
math(EXPR month "${month} - 1")
set(names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET names ${month} month)
if(day LESS 10)
  set(day 0${day})
endif()
set(GRITTOR_RELEASE_DATE_RFC2822 "${weekday}, ${day} ${month} ${year} 00:00:00 +0000")
configure_file(dist/debian/changelog.in ${PROJECT_BINARY_DIR}/dist/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/dist/changelog.gz
  COMMAND gzip -9 -n -k -f changelog
  DEPENDS ${PROJECT_BINARY_DIR}/dist/changelog
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/dist
  VERBATIM)
add_custom_target(grittor_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/dist/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/dist/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/grittor)
