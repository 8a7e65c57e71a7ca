// Which edition of tarngrade this is, for the messages that refuse a report
// the edition was built without.
#pragma once

#include <string_view>

namespace tarn::grading {

// The edition, as it follows "non è disponibile ": "nell'edizione per
// Windows", "nell'edizione statica per Linux", or, for a build of the
// programs made some other way, "in questa compilazione".
std::string_view editionPlace();

}  // namespace tarn::grading
