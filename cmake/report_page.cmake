# Makes the report page's template from web/: the page's style and the renderer inline, allowed by
# their SHA-256 hashes in the page's Content-Security-Policy. JOINED is the renderer's modules
# joined into one script (join_modules.py). The run's data goes where "@DATA@" stands. Writes
# OUTPUT (the template) and, when HEADER is given, a C++ header holding it.
# cmake -DSOURCE=<web folder> -DJOINED=<file> -DOUTPUT=<file> [-DHEADER=<file>] -P report_page.cmake
# (The policies of today: the old ones would expand "@NAME@" in quoted arguments.)
cmake_minimum_required(VERSION 3.25)

# The CSP form of a SHA-256 digest: "sha256-" and the digest in base64.
function(csp_hash text result)
  string(SHA256 hex "${text}")
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  set(encoded "")
  # 32 bytes: ten groups of three, then two bytes and one "=".
  foreach(at RANGE 0 63 6)
    string(SUBSTRING "${hex}" ${at} 6 group)
    string(LENGTH "${group}" digits)
    if(digits EQUAL 4)
      string(APPEND group "00")
    endif()
    math(EXPR value "0x${group}")
    foreach(shift 18 12 6 0)
      if(digits EQUAL 4 AND shift EQUAL 0)
        string(APPEND encoded "=")
      else()
        math(EXPR index "(${value} >> ${shift}) & 63")
        string(SUBSTRING "${alphabet}" ${index} 1 letter)
        string(APPEND encoded "${letter}")
      endif()
    endforeach()
  endforeach()
  set(${result} "sha256-${encoded}" PARENT_SCOPE)
endfunction()

file(READ "${SOURCE}/report.html" page)
file(READ "${SOURCE}/style.css" style)
file(READ "${JOINED}" script)
csp_hash("${style}" style_hash)
csp_hash("${script}" script_hash)
string(REPLACE "@STYLE_HASH@" "${style_hash}" page "${page}")
string(REPLACE "@SCRIPT_HASH@" "${script_hash}" page "${page}")
string(REPLACE "@STYLE@" "${style}" page "${page}")
string(REPLACE "@SCRIPT@" "${script}" page "${page}")
file(WRITE "${OUTPUT}" "${page}")

if(HEADER)
  file(READ "${OUTPUT}" bytes HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  file(WRITE "${HEADER}" "// Generated from web/ by cmake/report_page.cmake: the report page's template.\n"
    "#pragma once\n\nnamespace tosim::report {\n\ninline constexpr unsigned char kReportPage[] = {\n"
    "${bytes}\n};\n\n}  // namespace tosim::report\n")
endif()
