#include "db/odbc_connection_string.h"

#include <algorithm>
#include <cstdlib>

#include "db/connection_string.h"
#include "db/error.h"
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

std::string Lower(const std::string& v) { return util::ToLower(util::Trim(v)); }

// Providers that never encrypted unless asked: Microsoft's driver 18 would otherwise insist
// on encryption with a trusted certificate, which their servers often lack.
bool IsOldProvider(const std::string& provider) {
  std::string p = util::ToLower(provider);
  return p.rfind("sqloledb", 0) == 0 || p.rfind("sqlncli", 0) == 0 || (p.rfind("msoledbsql", 0) == 0 && p.find("19") == std::string::npos);
}

// ADO's Encrypt / TrustServerCertificate as driver 18 spells them.
std::string YesNo(const std::string& v) {
  std::string l = Lower(v);
  if (l == "true" || l == "yes") return "yes";
  if (l == "false" || l == "no") return "no";
  return std::string(util::Trim(v));  // optional, mandatory, strict
}

void AddEncryption(const ConnectionString& cs, bool freetds, std::string& out) {
  std::optional<std::string> encrypt = cs.Get("Encrypt");
  if (freetds) {
    // FreeTDS requests encryption by default and takes the server's certificate as it is.
    if (!encrypt) return;
    std::string e = YesNo(*encrypt);
    if (e == "yes" || Lower(e) == "mandatory" || Lower(e) == "strict") out += "Encryption=require;";
    if (e == "no" || Lower(e) == "optional") out += "Encryption=off;";
    return;
  }
  if (encrypt) {
    out += OdbcItem("Encrypt", YesNo(*encrypt));
  } else if (IsOldProvider(cs.Get("Provider").value_or(""))) {
    out += "Encrypt=no;";  // optional: encrypted only when the server insists
  }
  if (auto t = First(cs, {"TrustServerCertificate", "Trust Server Certificate"})) {
    out += OdbcItem("TrustServerCertificate", YesNo(*t));
  }
}

}  // namespace

std::string OdbcItem(const std::string& key, const std::string& value, bool freetds) {
  bool braces = value.find_first_of(";{}") != std::string::npos ||
                (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  if (!braces) return key + "=" + value + ";";
  if (!freetds) return key + "={" + util::ReplaceAll(value, "}", "}}") + "};";
  if (value.find("};") != std::string::npos) {
    throw Error("The connection string's " + key + " holds \"};\", which FreeTDS cannot read in a connection "
                "string: change that value.");
  }
  return key + "={" + value + "};";
}

std::optional<OdbcTarget> ToOdbc(const std::string& ado, const OdbcOptions& options) {
  ConnectionString cs = ConnectionString::Parse(ado);
  OdbcTarget target;
  target.query_timeout = options.query_timeout;
  if (cs.Get("Driver") || cs.Get("DSN")) {
    target.connection_string = ado;
    if (!ado.empty() && ado.back() != ';') target.connection_string += ";";
    auto sec = cs.Get("Trusted_Connection");
    target.integrated_security = sec && Yes(*sec);
    return target;
  }
  if (!IsSqlServerProvider(cs.Get("Provider").value_or(""))) return std::nullopt;

  const std::string& driver = options.driver;
  bool freetds = util::ToLower(driver).find("freetds") != std::string::npos;
  auto item = [freetds](const std::string& key, const std::string& value) { return OdbcItem(key, value, freetds); };
  std::string out = "Driver={" + driver + "};";
  Server server = ParseServer(First(cs, {"Data Source", "Server", "Address", "Addr", "Network Address"}).value_or(""));
  if (freetds) {
    out += item("Server", server.host + (server.instance.empty() ? "" : "\\" + server.instance));
    if (!server.port.empty()) out += item("Port", server.port);
  } else {
    out += item("Server", std::string(server.port.empty() ? "" : "tcp:") + server.host +
                                  (server.instance.empty() ? "" : "\\" + server.instance) +
                                  (server.port.empty() ? "" : "," + server.port));
  }
  if (auto db = First(cs, {"Initial Catalog", "Database"})) out += item("Database", *db);
  if (auto sec = First(cs, {"Integrated Security", "Trusted_Connection"}); sec && Yes(*sec)) {
    out += "Trusted_Connection=Yes;";
    target.integrated_security = true;
  } else {
    if (auto uid = First(cs, {"User ID", "UID", "User"})) out += item("UID", *uid);
    if (auto pwd = First(cs, {"Password", "PWD"})) out += item("PWD", *pwd);
  }
  std::optional<std::string> app = First(cs, {"Application Name", "App"});
  if (!app && !options.default_application.empty()) app = options.default_application;
  if (app) out += item("APP", *app);
  std::optional<std::string> wsid = First(cs, {"Workstation ID", "WSID"});
  if (!options.workstation_id.empty()) wsid = options.workstation_id;  // the name the guard compares with
  if (wsid) out += item("WSID", *wsid);
  if (freetds) out += "TDS_Version=7.4;ClientCharset=UTF-8;";
  AddEncryption(cs, freetds, out);
  if (auto timeout = First(cs, {"Connect Timeout", "Connection Timeout", "Timeout"})) {
    target.login_timeout = std::max(0, std::atoi(timeout->c_str()));
  }
  target.connection_string = out;
  return target;
}

}  // namespace db
