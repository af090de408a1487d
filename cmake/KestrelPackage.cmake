# Install rules (cmake --install, GNU layout) and the Debian package built by CPack.
#
#   <prefix>/bin/KESTREL, TORVAL_Updater         the programs, side by side
#   <prefix>/libexec/kestrel/kestrel-firewall-helper   run as root by pkexec only
#   <prefix>/share/polkit-1/actions/<id>.policy  the helper's polkit actions
#   <prefix>/share/applications, metainfo, icons/hicolor   menu entry, store data, icons
#   <prefix>/share/kestrel/packaged              tells the updater a package manager owns the files
#
# kestrel-service is not part of the player's package; self-hosters install it with
# `cmake --install build --component service`.

set(KESTREL_WEB_SITE "https://torval-dev.github.io/kestrel/")
set(KESTREL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KESTREL_STAGE_DIR ${CMAKE_BINARY_DIR}/packaging)

target_compile_definitions(KESTREL PRIVATE KESTREL_DESKTOP_ID="${KESTREL_APP_ID}")
if(WIN32)
    return() # a portable folder, as it always shipped
endif()

add_executable(kestrel_iconrender ${KESTREL_PACKAGING_DIR}/iconrender.cpp ${PROJECT_SOURCE_DIR}/src/app/appicon.cpp)
target_include_directories(kestrel_iconrender PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(kestrel_iconrender PRIVATE kestrel_qt_options Qt6::Gui)
set_target_properties(kestrel_iconrender PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KESTREL_STAGE_DIR})

install(TARGETS KESTREL TORVAL_Updater RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kestrel-firewall-helper RUNTIME DESTINATION ${KESTREL_HELPER_INSTALL_DIR})
if(TARGET kestrel-service)
    install(TARGETS kestrel-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT service EXCLUDE_FROM_ALL)
endif()

# Icons: the SVG, and PNGs drawn by the program's own icon code.
add_custom_command(OUTPUT ${KESTREL_STAGE_DIR}/icons/256x256/apps/${KESTREL_APP_ID}.png
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
        $<TARGET_FILE:kestrel_iconrender> ${KESTREL_STAGE_DIR}/icons ${KESTREL_APP_ID}
    DEPENDS kestrel_iconrender
    COMMENT "Drawing the application icons")
add_custom_target(kestrel_icons ALL DEPENDS ${KESTREL_STAGE_DIR}/icons/256x256/apps/${KESTREL_APP_ID}.png)
install(DIRECTORY ${KESTREL_STAGE_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${KESTREL_PACKAGING_DIR}/icons/kestrel.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${KESTREL_APP_ID}.svg)

# Desktop entry, store data and the screenshot it shows.
install(FILES ${KESTREL_PACKAGING_DIR}/${KESTREL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
set(KESTREL_SCREENSHOT ${KESTREL_PACKAGING_DIR}/screenshots/main.png)
set(KESTREL_SCREENSHOT_WIDTH 0)
set(KESTREL_SCREENSHOT_HEIGHT 0)
if(EXISTS ${KESTREL_SCREENSHOT})
    # PNG header: width and height are the big-endian words at bytes 16 and 20.
    file(READ ${KESTREL_SCREENSHOT} header LIMIT 24 HEX)
    string(SUBSTRING ${header} 32 8 width)
    string(SUBSTRING ${header} 40 8 height)
    math(EXPR KESTREL_SCREENSHOT_WIDTH "0x${width}")
    math(EXPR KESTREL_SCREENSHOT_HEIGHT "0x${height}")
    install(FILES ${KESTREL_SCREENSHOT} DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrel/screenshots)
endif()
configure_file(${KESTREL_PACKAGING_DIR}/${KESTREL_APP_ID}.metainfo.xml.in
    ${KESTREL_STAGE_DIR}/${KESTREL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${KESTREL_STAGE_DIR}/${KESTREL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${KESTREL_PACKAGING_DIR}/packaged DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrel)

# polkit actions, one per helper command: pkexec tells them apart by the first argument.
# The helper's absolute path is only known at install time (CPack installs with a
# DESTDIR under the final prefix), so it is filled in then.
function(kestrel_polkit_action name argument any active description description_ru message message_ru)
    set(ACTION_NAME ${name})
    set(ACTION_ARGUMENT ${argument})
    set(ACTION_ANY ${any})
    set(ACTION_ACTIVE ${active})
    set(ACTION_DESCRIPTION "${description}")
    set(ACTION_DESCRIPTION_RU "${description_ru}")
    set(ACTION_MESSAGE "${message}")
    set(ACTION_MESSAGE_RU "${message_ru}")
    set(KESTREL_HELPER_PATH "@KESTREL_HELPER_PATH@")
    configure_file(${KESTREL_PACKAGING_DIR}/kestrel.policy.action.in ${KESTREL_STAGE_DIR}/action-${name}.in @ONLY)
    file(READ ${KESTREL_STAGE_DIR}/action-${name}.in text)
    set(KESTREL_POLKIT_ACTIONS "${KESTREL_POLKIT_ACTIONS}${text}" PARENT_SCOPE)
endfunction()
set(KESTREL_POLKIT_ACTIONS "")
kestrel_polkit_action(status status auth_admin_keep yes
    "Read KESTREL's firewall rule"
    "Чтение правила брандмауэра KESTREL"
    "Authentication is required to read KESTREL's firewall rule"
    "Для чтения правила брандмауэра KESTREL требуется аутентификация")
kestrel_polkit_action(clear clear auth_admin_keep auth_admin_keep
    "Remove KESTREL's firewall rule"
    "Удаление правила брандмауэра KESTREL"
    "Authentication is required to remove KESTREL's firewall rule"
    "Для удаления правила брандмауэра KESTREL требуется аутентификация")
foreach(preset 1 2 3 4 5)
    kestrel_polkit_action(range${preset} ${preset} auth_admin_keep auth_admin_keep
        "Block the game's ports outside range ${preset} (KESTREL)"
        "Блокировка портов игры вне диапазона ${preset} (KESTREL)"
        "Authentication is required to change KESTREL's firewall rule"
        "Для изменения правила брандмауэра KESTREL требуется аутентификация")
endforeach()
configure_file(${KESTREL_PACKAGING_DIR}/kestrel.policy.in ${KESTREL_STAGE_DIR}/kestrel.policy.in @ONLY)
install(CODE "
    set(KESTREL_HELPER_PATH \"\${CMAKE_INSTALL_PREFIX}/${KESTREL_HELPER_INSTALL_DIR}/kestrel-firewall-helper\")
    configure_file(\"${KESTREL_STAGE_DIR}/kestrel.policy.in\" \"${KESTREL_STAGE_DIR}/policy/${KESTREL_APP_ID}.policy\" @ONLY)
    file(INSTALL \"${KESTREL_STAGE_DIR}/policy/${KESTREL_APP_ID}.policy\"
        DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/polkit-1/actions\")
")

# Debian's own documents (a native package: the changelog is ours), and manual pages.
set(KESTREL_GZIPPED changelog.gz KESTREL.1.gz TORVAL_Updater.1.gz)
set(KESTREL_GZIP_SOURCES debian/changelog man/KESTREL.1 man/TORVAL_Updater.1)
foreach(name source IN ZIP_LISTS KESTREL_GZIPPED KESTREL_GZIP_SOURCES)
    add_custom_command(OUTPUT ${KESTREL_STAGE_DIR}/${name}
        COMMAND gzip -9n -c ${KESTREL_PACKAGING_DIR}/${source} > ${KESTREL_STAGE_DIR}/${name}
        DEPENDS ${KESTREL_PACKAGING_DIR}/${source})
    list(APPEND KESTREL_GZIPPED_FILES ${KESTREL_STAGE_DIR}/${name})
endforeach()
add_custom_target(kestrel_documents ALL DEPENDS ${KESTREL_GZIPPED_FILES})
install(FILES ${KESTREL_PACKAGING_DIR}/debian/copyright ${KESTREL_STAGE_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrel)
install(FILES ${KESTREL_STAGE_DIR}/KESTREL.1.gz ${KESTREL_STAGE_DIR}/TORVAL_Updater.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TORVAL DEVELOPMENT")
set(CPACK_PACKAGE_CONTACT "TORVAL DEVELOPMENT <kestrel@torval-dev.github.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "connection monitor for the game Russian Fishing 4")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "KESTREL finds the game server that the Russian Fishing 4 client talks to,
measures the ping every second and shows it in a small always-on-top window,
with session and port records, favourite and shared ports, screenshots and a
mini overlay.
.
It can block the game's ports outside one of five server ranges with an
nftables rule; changing that rule asks for an administrator's password
through polkit.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KESTREL_WEB_SITE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so shlibdeps cannot see them: the window system plugins, the
# program that authorises the firewall helper, and nft.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, pkexec, nftables")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KESTREL_PACKAGING_DIR}/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
