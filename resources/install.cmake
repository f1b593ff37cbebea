# The installed layout under the prefix:
#   lib/kestrow/             the program folder: kestrow, kestrow-cli, Help/kesthelp.html
#   bin/kestrow, bin/kestrow-cli    links into it
#   share/applications/kestrow.desktop, share/icons/hicolor/scalable/apps/kestrow.svg
set(KESTROW_PROGRAM_FOLDER lib/kestrow)
install(TARGETS kestrow kestrow-cli RUNTIME DESTINATION ${KESTROW_PROGRAM_FOLDER})
install(FILES ${PROJECT_SOURCE_DIR}/Help/kesthelp.html DESTINATION ${KESTROW_PROGRAM_FOLDER}/Help)
install(FILES ${PROJECT_SOURCE_DIR}/resources/kestrow.svg DESTINATION share/icons/hicolor/scalable/apps)

# The launcher names the program by its installed path, known only when installing.
install(CODE "set(KESTROW_DESKTOP_TEMPLATE \"${PROJECT_SOURCE_DIR}/resources/kestrow.desktop.in\")")
install(CODE "set(KESTROW_PROGRAM_FOLDER \"${KESTROW_PROGRAM_FOLDER}\")")
install(CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    set(KESTROW_PROGRAM "${CMAKE_INSTALL_PREFIX}/${KESTROW_PROGRAM_FOLDER}/kestrow")
    configure_file("${KESTROW_DESKTOP_TEMPLATE}" "${root}/share/applications/kestrow.desktop" @ONLY)
    message(STATUS "Installing: ${root}/share/applications/kestrow.desktop")
    file(MAKE_DIRECTORY "${root}/bin")
    foreach(program kestrow kestrow-cli)
        file(CREATE_LINK "../${KESTROW_PROGRAM_FOLDER}/${program}" "${root}/bin/${program}" SYMBOLIC)
        message(STATUS "Installing: ${root}/bin/${program}")
    endforeach()
]])
