# Where an installation puts its parts, relative to CMAKE_INSTALL_PREFIX.
# The plug-in gets a folder of its own, as the player scans plug-in folders.
set(VELLORA_INSTALL_PLUGINDIR ${CMAKE_INSTALL_LIBDIR}/vellora)
set(VELLORA_INSTALL_TRANSLATIONSDIR ${CMAKE_INSTALL_DATADIR}/l10n/solvanetouch)
set(VELLORA_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/vellora)
set(VELLORA_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VelloraMediaExtension)

# Folders made by the installation are 755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# An installed program finds the libraries next to it, wherever the prefix is.
# Packages for /usr turn this off: the libraries are on the linker's own path.
option(VELLORA_INSTALL_RPATH "Give installed programs a run path relative to themselves" ON)
if(VELLORA_INSTALL_RPATH)
    file(RELATIVE_PATH bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
    file(RELATIVE_PATH plugin_to_lib /${VELLORA_INSTALL_PLUGINDIR} /${CMAKE_INSTALL_LIBDIR})
    set(VELLORA_BIN_RPATH "$ORIGIN/${bin_to_lib}")
    set(VELLORA_PLUGIN_RPATH "$ORIGIN/${plugin_to_lib}")
endif()

# Paths from the installed player to the plug-in and the catalogs, so that an
# installed tree can be moved as a whole.
file(RELATIVE_PATH VELLORA_BIN_TO_PLUGINDIR /${CMAKE_INSTALL_BINDIR} /${VELLORA_INSTALL_PLUGINDIR})
file(RELATIVE_PATH VELLORA_BIN_TO_TRANSLATIONSDIR /${CMAKE_INSTALL_BINDIR} /${VELLORA_INSTALL_TRANSLATIONSDIR})
