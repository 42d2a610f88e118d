// Typical downloads of every file kind, built in: what the probe of the line settings runs through the line
// model to learn what each wrong setting makes of survey text. The instrument's own text is not known in
// advance, so this is text like it: framed records of digits, signs, commas and dots, point numbers and now
// and then a Chinese name, CR LF, and the end word.
#pragma once

#include <string>
#include <vector>

namespace kestrion {

// The records one by one, each framed with its marker and followed by CR LF, the end word last.
const std::vector<std::string>& SurveyCorpus();

// The upload's requests: the start word as instruments send it, alone or with a line end.
const std::vector<std::string>& RequestCorpus();

}  // namespace kestrion
