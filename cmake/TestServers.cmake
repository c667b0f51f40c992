# The POP3 test servers (tests/korp/pop3/PopTestServers.*): a real Dovecot on loopback and
# certificates made with the openssl command, shared by the tests and the benchmarks. Without
# those programs the tests that use them would prove nothing, so configuring stops instead;
# scripts/install-deps installs them.
include_guard(GLOBAL)

find_program(BREVON_DOVECOT dovecot PATHS /usr/sbin)
find_program(BREVON_OPENSSL openssl)
# Debian's dovecot-pop3d puts the POP3 server next to the master's helpers.
set(BREVON_DOVECOT_POP3 /usr/lib/dovecot/pop3)
if(NOT BREVON_DOVECOT OR NOT EXISTS ${BREVON_DOVECOT_POP3})
  message(FATAL_ERROR "Dovecot with its POP3 server is needed by the POP3 tests and benchmarks "
                      "(packages dovecot-core and dovecot-pop3d): run scripts/install-deps")
endif()
if(NOT BREVON_OPENSSL)
  message(FATAL_ERROR "The openssl command makes the test certificates (package openssl): "
                      "run scripts/install-deps")
endif()

add_library(pop3_test_servers STATIC ${PROJECT_SOURCE_DIR}/tests/korp/pop3/PopTestServers.cpp)
target_include_directories(pop3_test_servers PUBLIC ${PROJECT_SOURCE_DIR}/tests/korp/pop3)
target_compile_definitions(pop3_test_servers PRIVATE
    DOVECOT_PROGRAM="${BREVON_DOVECOT}"
    DOVECOT_POP3="${BREVON_DOVECOT_POP3}"
    OPENSSL_PROGRAM="${BREVON_OPENSSL}")
