#include "db/command.h"

#include "db/error.h"
#include "util/text.h"

namespace db {

Parameter& Command::Item(const std::string& name) {
  for (Parameter& p : params_) {
    if (util::EqualsNoCase(p.name, name)) return p;
  }
  throw Error("Item cannot be found in the collection corresponding to the requested name or "
              "ordinal (parameter '" + name + "').", 3265);
}

void Command::Execute() {
  if (!connection_ || connection_->State() != 1) {
    throw Error("The connection cannot be used to perform this operation. It is either closed or "
                "invalid in this context.", 3709);
  }
  if (type_ != kCmdStoredProc || !util::EqualsNoCase(text_, "GetNewID")) {
    throw Error("Could not find stored procedure '" + text_ + "'.");
  }
  if (params_.size() != 5) {
    throw Error("Procedure or function 'GetNewID' expects 5 parameters, " +
                std::to_string(params_.size()) + " were supplied.");
  }
  params_[4].value = connection_->CallGetNewID(CStr(params_[0].value), CStr(params_[1].value),
                                               CStr(params_[2].value), CLng(params_[3].value));
}

}  // namespace db
