# Installation and the Debian package (cpack -G DEB). The installed tree:
#   bin/korvane, bin/korvane-cli
#   lib/korvane/Lumatrel.ocx, lib/korvane/WNASPI32.DLL   (found through ProgramModuleDirs)
#   share/korvane/korvane.html                           (the help page, found by HelpFileFor)
#   share/man/man1/korvane-cli.1.gz                      (help2man from --help at build time)
#   share/applications, share/icons/hicolor/scalable/apps, share/metainfo, share/doc/korvane
# `cmake --install` into a prefix gives the same tree as the package.
set(packaging ${PROJECT_SOURCE_DIR}/resources/packaging)
set(app_id com.quorvix.korvane)

if(TARGET korvane)
  install(TARGETS korvane RUNTIME DESTINATION bin)
endif()
install(TARGETS korvane-cli RUNTIME DESTINATION bin)
foreach(module korvane_lumatrel korvane_aspi_module)
  if(TARGET ${module})
    install(TARGETS ${module} LIBRARY DESTINATION lib/korvane)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/help/korvane.html DESTINATION share/korvane)

# The manual page of korvane-cli, made from its --help-all (every command with its
# examples, the exit status and the environment) and --version.
find_program(HELP2MAN help2man REQUIRED)
set(man_page ${PROJECT_BINARY_DIR}/man/korvane-cli.1)
add_custom_command(OUTPUT ${man_page}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
  COMMAND ${HELP2MAN} --no-info --section=1 --help-option=--help-all
          "--name=read CD audio, slice it into regions, play and export them"
          --output=${man_page} $<TARGET_FILE:korvane-cli>
  COMMAND gzip -9nf ${man_page}
  DEPENDS korvane-cli
  COMMENT "Making the manual page of korvane-cli"
  VERBATIM)
add_custom_target(korvane-man ALL DEPENDS ${man_page}.gz)
install(FILES ${man_page}.gz DESTINATION share/man/man1)

install(FILES ${packaging}/${app_id}.desktop DESTINATION share/applications)
install(FILES ${packaging}/korvane.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${packaging}/${app_id}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${packaging}/copyright DESTINATION share/doc/korvane)
set(changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  COMMAND gzip -9nc ${packaging}/changelog > ${changelog}
  DEPENDS ${packaging}/changelog
  VERBATIM)
add_custom_target(korvane-changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION share/doc/korvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Quorvix <packages@quorvix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut CD audio tracks into sample regions")
# The synopsis is the summary above; this is the extended description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Korvane reads the audio of a CD track bit-exactly, divides it into sample\nregions at a threshold level and release time, plays regions once or looped\nand exports them as numbered WAV files. korvane-cli does the same on the\ncommand line.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
include(CPack)
