#include "db/odbc_connection_string.h"

#include <cstdlib>

#include "db/connection_string.h"
#include "util/text.h"

namespace db {
namespace {

bool IsSqlServerProvider(const std::string& provider) {
  std::string p = util::ToLower(provider);
  return p.rfind("sqloledb", 0) == 0 || p.rfind("sqlncli", 0) == 0 || p.rfind("msoledbsql", 0) == 0;
}

std::optional<std::string> First(const ConnectionString& cs, std::initializer_list<const char*> keys) {
  for (const char* k : keys) {
    if (auto v = cs.Get(k)) return v;
  }
  return std::nullopt;
}

bool Yes(const std::string& v) {
  std::string l = util::ToLower(util::Trim(v));
  return l == "sspi" || l == "true" || l == "yes";
}

// "tcp:host,port", "host,port", "host\instance", "(local)", ".".
struct Server {
  std::string host, instance, port;
};

Server ParseServer(std::string text) {
  Server s;
  text = std::string(util::Trim(text));
  if (util::StartsWithNoCase(text, "tcp:")) text = text.substr(4);
  size_t comma = text.find(',');
  if (comma != std::string::npos) {
    s.port = std::string(util::Trim(text.substr(comma + 1)));
    text = text.substr(0, comma);
  }
  size_t slash = text.find('\\');
  if (slash != std::string::npos) {
    s.instance = text.substr(slash + 1);
    text = text.substr(0, slash);
  }
  s.host = std::string(util::Trim(text));
  if (s.host == "." || util::EqualsNoCase(s.host, "(local)") || s.host.empty()) s.host = "localhost";
  return s;
}

}  // namespace

std::optional<OdbcTarget> ToOdbc(const std::string& ado, const std::string& driver) {
  ConnectionString cs = ConnectionString::Parse(ado);
  OdbcTarget target;
  if (cs.Get("Driver") || cs.Get("DSN")) {
    target.connection_string = ado;
    if (!ado.empty() && ado.back() != ';') target.connection_string += ";";
    return target;
  }
  if (!IsSqlServerProvider(cs.Get("Provider").value_or(""))) return std::nullopt;

  bool freetds = util::ToLower(driver).find("freetds") != std::string::npos;
  std::string out = "Driver={" + driver + "};";
  Server server = ParseServer(First(cs, {"Data Source", "Server", "Address", "Addr", "Network Address"}).value_or(""));
  if (freetds) {
    out += "Server=" + server.host + (server.instance.empty() ? "" : "\\" + server.instance) + ";";
    if (!server.port.empty()) out += "Port=" + server.port + ";";
  } else {
    out += "Server=" + std::string(server.port.empty() ? "" : "tcp:") + server.host +
           (server.instance.empty() ? "" : "\\" + server.instance) + (server.port.empty() ? "" : "," + server.port) + ";";
  }
  if (auto db = First(cs, {"Initial Catalog", "Database"})) out += "Database=" + *db + ";";
  if (auto sec = First(cs, {"Integrated Security", "Trusted_Connection"}); sec && Yes(*sec)) {
    out += "Trusted_Connection=Yes;";
  } else {
    if (auto uid = First(cs, {"User ID", "UID", "User"})) out += "UID=" + *uid + ";";
    if (auto pwd = First(cs, {"Password", "PWD"})) out += "PWD=" + *pwd + ";";
  }
  if (auto app = First(cs, {"Application Name", "App"})) out += "APP=" + *app + ";";
  if (auto wsid = First(cs, {"Workstation ID", "WSID"})) out += "WSID=" + *wsid + ";";
  if (freetds) {
    out += "TDS_Version=7.4;ClientCharset=UTF-8;";
  } else {
    if (auto e = cs.Get("Encrypt")) out += "Encrypt=" + *e + ";";
    if (auto t = First(cs, {"TrustServerCertificate", "Trust Server Certificate"})) out += "TrustServerCertificate=" + *t + ";";
  }
  if (auto timeout = First(cs, {"Connect Timeout", "Connection Timeout", "Timeout"})) {
    target.login_timeout = std::atoi(timeout->c_str());
  }
  target.connection_string = out;
  return target;
}

}  // namespace db
