# SharedLibrary: the system's dynamic loader (libdl on older C libraries; nothing on newer ones).
target_link_libraries(platform PUBLIC ${CMAKE_DL_LIBS})
if(WIN32)
  # The settings store and autostart entry live in the registry there.
  target_link_libraries(platform PUBLIC advapi32)
endif()
