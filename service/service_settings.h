#pragma once
// The service settings of httpset.ini and the endpoint URLs built from them.

#include <filesystem>
#include <string>

namespace pos {

struct ServiceSettings {
  std::string host = "127.0.0.1";
  std::string user_name = "SYSDBA";
  std::string password = "quillbark";
  std::string port = "80";
  std::string driver = "ado";
  std::string scheme = "http";  // "http" or "https"; other values are refused when the module starts
  std::string cafile;           // CA bundle that HTTPS answers are checked against; empty: the system's
  std::string read_timeout;     // seconds with no byte moving before a request fails; empty: 300
  std::string retries;          // times a request that could not connect or timed out is sent again; empty: 0
  std::string compress;         // 1: ask for gzipped answers; empty or 0: plain answers only
  std::string batch;            // 1: one kept-alive connection, a chunk of keys per fetch; empty or 0: as always
  bool file_found = false;      // the file could be read
  bool section_found = false;   // it has a [set] section
};

// Reads the keys host, user_name, password, port, driver, scheme, cafile, read_timeout, retries, compress and batch of
// section [set], as the terminal's own INI files are read: a key's value is everything after the first '=' of its line,
// blanks around it and one pair of matching quotes removed; a line without '=' is ignored; ';' starts a comment only at
// the beginning of a line. A missing file, section or key keeps the default; section and key names ignore letter case
// and the first occurrence of a key counts. Nothing is validated and the bytes are kept as they are (Big5).
ServiceSettings read_service_settings(const std::filesystem::path& ini_file);

// How the program signs in to the terminal's own database: [localdb] of httpset.ini, keys user and
// password, read as [set] is. A key absent or empty keeps the fixed sign-in.
struct LocalDbSignIn {
  std::string user = "SYSDBA";
  std::string password = "quillbark";
  bool from_settings = false;  // the file gave one of them
};
LocalDbSignIn read_local_db_sign_in(const std::filesystem::path& ini_file);

// scheme "://" host ":" port "/Vark/" driver "/index.php", joined without any checking.
std::string query_endpoint(const ServiceSettings& s);
// The same with "/sql_scripts.php".
std::string script_endpoint(const ServiceSettings& s);

}  // namespace pos
