# The program of the release archives (vornet-VERSION-ARCH-linux.tar.gz):
# linked statically against the C library too, so that it runs on any Linux
# of its architecture, whatever C library the system has or lacks. It is the
# same code as the dynamic program (the Debian package's), linked once more.
add_executable(vornet_static driver/main.cpp)
target_link_libraries(vornet_static PRIVATE vornet_core vornet_program_linking)
# -static, not -static-pie: no dynamic section at all, and nothing for a
# loader to do.
target_link_options(vornet_static PRIVATE -static)
set_target_properties(vornet_static PROPERTIES OUTPUT_NAME vornet
                                               RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/static)

# What the archive's folder holds, installed only when asked for by name
# (cmake --install --component archive), never by the Debian package.
install(TARGETS vornet_static RUNTIME DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)
install(FILES doc/vornet.1 README.md LICENSE DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)
