# The version lives in the VERSION file; the public header states it again in
# its DESSEC_VERSION_* macros, so that callers can test it without a build
# system. A header that disagrees with VERSION stops the configuration.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/dessec.h dessec_version_lines
  REGEX "^#define DESSEC_VERSION_(MAJOR|MINOR|PATCH|STRING) ")
set(dessec_header_version "")
foreach(part MAJOR MINOR PATCH STRING)
  set(value "")
  foreach(line IN LISTS dessec_version_lines)
    if(line MATCHES "^#define DESSEC_VERSION_${part} +\"?([0-9.]+)\"?$")
      set(value ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(APPEND dessec_header_version "${value}")
endforeach()
set(dessec_expected_version ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH}
  ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
if(NOT dessec_header_version STREQUAL dessec_expected_version)
  list(JOIN dessec_header_version ", " found)
  message(FATAL_ERROR "include/dessec.h states version macros (MAJOR, MINOR, PATCH, STRING) "
    "\"${found}\", but VERSION says ${PROJECT_VERSION}: update the DESSEC_VERSION_* macros")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/VERSION ${PROJECT_SOURCE_DIR}/include/dessec.h)
