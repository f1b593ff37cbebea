# The installed layout under the prefix:
#   lib/kestrow/             the program folder: kestrow, kestrow-cli, Help/kesthelp.html
#   bin/kestrow, bin/kestrow-cli    links into it
#   share/applications/org.example.Kestrow.desktop, share/icons/hicolor/scalable/apps/kestrow.svg
#   share/metainfo/org.example.Kestrow.metainfo.xml    what software centres show
#   share/man/man1/kestrow-cli.1.gz, share/bash-completion/completions/kestrow-cli
#   share/doc/kestrow/examples/    systemd user units for unattended runs
set(KESTROW_PROGRAM_FOLDER lib/kestrow)
set(KESTROW_APP_ID org.example.Kestrow)
set(KESTROW_HOMEPAGE https://kestrow.example.org/)
install(TARGETS kestrow kestrow-cli RUNTIME DESTINATION ${KESTROW_PROGRAM_FOLDER})
install(FILES ${PROJECT_SOURCE_DIR}/Help/kesthelp.html DESTINATION ${KESTROW_PROGRAM_FOLDER}/Help)
install(FILES ${PROJECT_SOURCE_DIR}/resources/kestrow.svg DESTINATION share/icons/hicolor/scalable/apps)
configure_file(${PROJECT_SOURCE_DIR}/resources/${KESTROW_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/share/metainfo/${KESTROW_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/share/metainfo/${KESTROW_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${KESTROW_MAN_PAGE} DESTINATION share/man/man1)
install(FILES ${KESTROW_COMPLETION} DESTINATION share/bash-completion/completions)
install(FILES ${PROJECT_SOURCE_DIR}/resources/examples/kestrow-run@.service
              ${PROJECT_SOURCE_DIR}/resources/examples/kestrow-run@.timer
        DESTINATION share/doc/kestrow/examples)

# The launcher names the program by its installed path, known only when installing.
install(CODE "set(KESTROW_DESKTOP_TEMPLATE \"${PROJECT_SOURCE_DIR}/resources/${KESTROW_APP_ID}.desktop.in\")")
install(CODE "set(KESTROW_DESKTOP_FILE \"${KESTROW_APP_ID}.desktop\")")
install(CODE "set(KESTROW_PROGRAM_FOLDER \"${KESTROW_PROGRAM_FOLDER}\")")
install(CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    set(KESTROW_PROGRAM "${CMAKE_INSTALL_PREFIX}/${KESTROW_PROGRAM_FOLDER}/kestrow")
    configure_file("${KESTROW_DESKTOP_TEMPLATE}" "${root}/share/applications/${KESTROW_DESKTOP_FILE}" @ONLY)
    message(STATUS "Installing: ${root}/share/applications/${KESTROW_DESKTOP_FILE}")
    file(MAKE_DIRECTORY "${root}/bin")
    foreach(program kestrow kestrow-cli)
        file(CREATE_LINK "../${KESTROW_PROGRAM_FOLDER}/${program}" "${root}/bin/${program}" SYMBOLIC)
        message(STATUS "Installing: ${root}/bin/${program}")
    endforeach()
]])
