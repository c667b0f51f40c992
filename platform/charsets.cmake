# Charsets: iconv, part of glibc; on Windows the system's code pages and Unicode normalisation
# (normaliz). The Windows backing reads UTF-8 with the project's own codec.
if(WIN32)
  target_link_libraries(platform PRIVATE normaliz)
else()
  find_package(Iconv REQUIRED)
  target_link_libraries(platform PRIVATE Iconv::Iconv)
endif()
target_link_libraries(platform PRIVATE encoding)
