# httplibadapter.cpp drives the HTTP library's request handling through parts that are not its public interface
# and change between releases: only the release it was written for is taken (its static_assert names it too).
# Included by server/CMakeLists.txt after pkg-config found the library; runs as a script for its test:
#   cmake -DHTTPLIB_VERSION=X.Y.Z -P httplibversion.cmake
set(QUILLABRIX_HTTPLIB_ADAPTED_VERSION "0.11.4")
if(NOT HTTPLIB_VERSION STREQUAL QUILLABRIX_HTTPLIB_ADAPTED_VERSION)
    message(FATAL_ERROR "quillabrix-portal: found cpp-httplib ${HTTPLIB_VERSION}, but server/httplibadapter.cpp "
        "was written for cpp-httplib ${QUILLABRIX_HTTPLIB_ADAPTED_VERSION}. Install that release (Debian 12: "
        "libcpp-httplib-dev), or check the adapter against the new one and update the version in "
        "server/httplibversion.cmake and server/httplibadapter.cpp.")
endif()
