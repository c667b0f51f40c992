# TLS for the mail transport: OpenSSL where it is at hand. The Windows cross build has none
# (Debian packages no OpenSSL for mingw-w64): there TlsTransport carries plain connections only
# and refuses to start TLS (src/notls/).
if(WIN32)
  find_package(OpenSSL 1.1.1)
else()
  find_package(OpenSSL 1.1.1 REQUIRED)
endif()
if(OpenSSL_FOUND)
  target_link_libraries(platform PUBLIC OpenSSL::SSL OpenSSL::Crypto)
else()
  get_target_property(platform_all_sources platform SOURCES)
  list(FILTER platform_all_sources EXCLUDE REGEX "/src/TlsTransport\\.cpp$")
  set_property(TARGET platform PROPERTY SOURCES ${platform_all_sources}
                                                 ${CMAKE_CURRENT_LIST_DIR}/src/notls/TlsTransport.cpp)
  message(STATUS "platform: no OpenSSL; TLS connections are refused in this build")
endif()
set(BREVON_HAVE_TLS ${OpenSSL_FOUND} CACHE INTERNAL "Whether the platform layer can do TLS")
if(WIN32)
  target_link_libraries(platform PUBLIC ws2_32)
endif()
# The name lookup runs on a thread of its own so that it can be given up after a time-out.
find_package(Threads REQUIRED)
target_link_libraries(platform PUBLIC Threads::Threads)
