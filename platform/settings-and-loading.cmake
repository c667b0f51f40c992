# Settings store, data paths, library loading and autostart.
# The system's dynamic loader: libdl on older C libraries, nothing on newer ones.
target_link_libraries(platform PUBLIC ${CMAKE_DL_LIBS})
if(WIN32)
  # Registry (settings, autostart), known folders and their memory.
  target_link_libraries(platform PUBLIC advapi32 shell32 ole32)
endif()
