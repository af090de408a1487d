# Names and places that the programs share with their installed files: the desktop id
# (desktop entry, icons, metainfo and the polkit action file are named after it) and
# where the firewall helper sits relative to the programs.
include(GNUInstallDirs)

set(KESTREL_APP_ID io.github.torval_dev.kestrel)
# polkit action ids take no "_".
set(KESTREL_POLKIT_ID io.github.torval-dev.kestrel)
set(KESTREL_HELPER_INSTALL_DIR ${CMAKE_INSTALL_LIBEXECDIR}/kestrel)
file(RELATIVE_PATH KESTREL_HELPER_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR}
    ${CMAKE_INSTALL_FULL_LIBEXECDIR}/kestrel/kestrel-firewall-helper)
