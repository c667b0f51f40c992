# TLS for the mail transport.
find_package(OpenSSL 1.1.1 REQUIRED)
target_link_libraries(platform PUBLIC OpenSSL::SSL OpenSSL::Crypto)
if(WIN32)
  target_link_libraries(platform PUBLIC ws2_32)
endif()
# The name lookup runs on a thread of its own so that it can be given up after a time-out.
find_package(Threads REQUIRED)
target_link_libraries(platform PUBLIC Threads::Threads)
