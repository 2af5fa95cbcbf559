#pragma once
// The program's texts, by their resource number.
#include <QString>

namespace parvane {

// The text of string id, or an empty text for an unknown id.
QString Str(int id);

// The notice when calls to the service time out.
inline constexpr const char* kNotAnswering = "The Tonquil service is not answering";

}  // namespace parvane
