# Installation in the platform's own layout and the Debian packages.
#
# The programs live in lib/tamro with links in bin, so that the model file
# beside the running program (found through its resolved path) is
# lib/tamro/tamro.dat. That file is a link to the configuration file in
# /etc/tamro, which the package manager keeps when it was changed.
include(GNUInstallDirs)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(TAMRO_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(tamro_program_dir ${CMAKE_INSTALL_LIBDIR}/tamro)
if(CMAKE_INSTALL_LIBDIR MATCHES "/")
  # A multiarch lib directory is not where people look for programs.
  set(tamro_program_dir lib/tamro)
endif()
set(tamro_config_dir ${CMAKE_INSTALL_FULL_SYSCONFDIR}/tamro)
set(tamro_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc)
set(TAMRO_LAB_DIR ${CMAKE_INSTALL_PREFIX}/${tamro_program_dir})
set(TAMRO_LAB_DATA_DIR ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATAROOTDIR}/tamro-lab)
set(staged ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${staged})

# Compressed without names or times, so that the packages are reproducible.
function(tamro_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${Python3_EXECUTABLE} -c
      "import gzip,sys; open(sys.argv[2],'wb').write(gzip.compress(open(sys.argv[1],'rb').read(),9,mtime=0))"
      ${source} ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

set(tamro_packaged_files)
foreach(page tamro tamroctl tamro-lab)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/man/${page}.1.in ${staged}/${page}.1 @ONLY)
  tamro_gzip(${staged}/${page}.1 ${staged}/${page}.1.gz)
  list(APPEND tamro_packaged_files ${staged}/${page}.1.gz)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${staged}/changelog @ONLY)
tamro_gzip(${staged}/changelog ${staged}/changelog.gz)
list(APPEND tamro_packaged_files ${staged}/changelog.gz)
add_custom_target(tamro_packaged_files ALL DEPENDS ${tamro_packaged_files})

configure_file(${PROJECT_SOURCE_DIR}/packaging/tamro-lab.in ${staged}/tamro-lab @ONLY)
file(CREATE_LINK ../${tamro_program_dir}/tamro ${staged}/link-tamro SYMBOLIC)
file(CREATE_LINK ../${tamro_program_dir}/tamroctl ${staged}/link-tamroctl SYMBOLIC)
file(CREATE_LINK ${tamro_config_dir}/tamro.dat ${staged}/link-tamro.dat SYMBOLIC)

# tamro: the window, tamroctl and what goes with them.
set(tamro_programs tamroctl)
if(TAMRO_BUILD_QT)
  list(APPEND tamro_programs tamro)
endif()
install(TARGETS ${tamro_programs} RUNTIME DESTINATION ${tamro_program_dir} COMPONENT tamro)
install(FILES ${staged}/link-tamroctl DESTINATION ${CMAKE_INSTALL_BINDIR}
        RENAME tamroctl COMPONENT tamro)
if(TAMRO_BUILD_QT)
  install(FILES ${staged}/link-tamro DESTINATION ${CMAKE_INSTALL_BINDIR}
          RENAME tamro COMPONENT tamro)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/data/tamro.dat DESTINATION ${tamro_config_dir} COMPONENT tamro)
install(FILES ${staged}/link-tamro.dat DESTINATION ${tamro_program_dir}
        RENAME tamro.dat COMPONENT tamro)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tamro.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT tamro)
foreach(size 16 32 48 256)
  install(FILES ${PROJECT_SOURCE_DIR}/src/ui/qt/resources/tamro-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
          RENAME tamro.png COMPONENT tamro)
endforeach()
install(FILES ${staged}/tamro.1.gz ${staged}/tamroctl.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tamro)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tamroctl.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
        RENAME tamroctl COMPONENT tamro)

# tamro-lab: the simulator and the lab around it.
if(TAMRO_BUILD_DEVSIM)
  install(TARGETS tamro-devsim RUNTIME DESTINATION ${tamro_program_dir} COMPONENT lab)
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/lab.sh DESTINATION ${tamro_program_dir}
          COMPONENT lab)
  install(PROGRAMS ${staged}/tamro-lab DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lab)
  install(FILES ${PROJECT_SOURCE_DIR}/data/demo_devices.json
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/tamro-lab COMPONENT lab)
  install(FILES ${staged}/tamro-lab.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT lab)
endif()

# tamro-ansible: the tamro.devices collection, where ansible-core looks by default.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/ansible/ansible_collections/tamro/devices/
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/ansible/collections/ansible_collections/tamro/devices
        COMPONENT ansible
        PATTERN tests EXCLUDE PATTERN __pycache__ EXCLUDE PATTERN "*.pyc" EXCLUDE)

foreach(component tamro lab ansible)
  set(package tamro)
  if(component STREQUAL "lab")
    set(package tamro-lab)
  elseif(component STREQUAL "ansible")
    set(package tamro-ansible)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${staged}/changelog.gz
          DESTINATION ${tamro_doc_dir}/${package} COMPONENT ${component})
endforeach()

file(WRITE ${staged}/conffiles "${tamro_config_dir}/tamro.dat\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamro)
set(CPACK_PACKAGE_VERSION ${TAMRO_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT "Tamro developers <developers@tamro.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tamro ansible)
if(TAMRO_BUILD_DEVSIM)
  list(APPEND CPACK_COMPONENTS_ALL lab)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_TAMRO_PACKAGE_NAME tamro)
# The window's texts are Japanese and drawn in this font; Qt finds its
# display plug-ins at run time, so no library dependency names them.
set(CPACK_DEBIAN_TAMRO_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-qpa-plugins")
set(CPACK_DEBIAN_TAMRO_PACKAGE_CONTROL_EXTRA ${staged}/conffiles)
set(CPACK_COMPONENT_TAMRO_DESCRIPTION
"setup tool for serial-to-LAN device servers
Tamro finds the serial-to-LAN device servers on one Ethernet segment by a
UDP broadcast, shows their network, serial and connection settings, edits
them within the limits of a device model and writes them back. A device
outside the host's subnet can be given a new address after an ICMP probe.
.
The package holds the setup window (tamro) and the command-line program
(tamroctl), which drives the same dialog logic and adds fleet work: one
device's settings onto many, checked after the restart, and a doctor for
searches that find nothing.")

set(CPACK_DEBIAN_LAB_PACKAGE_NAME tamro-lab)
set(CPACK_DEBIAN_LAB_PACKAGE_DEPENDS "tamro (= ${TAMRO_PACKAGE_VERSION}), iproute2")
set(CPACK_COMPONENT_LAB_DESCRIPTION
"simulated device servers for trying Tamro
The device simulator answers as any number of serial-to-LAN device servers
would, with faults on request, and tamro-lab runs a command beside it in a
throw-away pair of network namespaces, so that Tamro can be tried without
devices and without sending anything on the machine's own network.")

set(CPACK_DEBIAN_ANSIBLE_PACKAGE_NAME tamro-ansible)
set(CPACK_DEBIAN_ANSIBLE_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_ANSIBLE_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_ANSIBLE_PACKAGE_DEPENDS "tamro (= ${TAMRO_PACKAGE_VERSION}), ansible-core, python3")
set(CPACK_COMPONENT_ANSIBLE_DESCRIPTION
"Ansible collection tamro.devices for Tamro
Modules that set up serial-to-LAN device servers from Ansible through
tamroctl on the managed host: info lists the devices a search finds,
settings holds settings on one device or a batch and writes only those
that differ (check mode and diff mode included), and address gives a device
outside the subnet its address.")

include(CPack)
