#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmar {

// What one program moved in the span of one history record: a program by
// its executable's path, or a row that is none ("other", "other users",
// "not attributed").
struct ProgramVolume {
  QString program;
  uint64_t down = 0;
  uint64_t up = 0;

  bool operator==(const ProgramVolume&) const = default;
};

// Where the recorder gets a record's per-program volumes.
class ProgramVolumeSource {
 public:
  virtual ~ProgramVolumeSource() = default;
  // Measuring starts: nothing the programs moved before belongs to a record.
  virtual void Restart() = 0;
  // The rows of a record that counted `down` and `up` bytes since the
  // previous one, adding up to them; empty stores none.
  virtual std::vector<ProgramVolume> Take(uint64_t down, uint64_t up) = 0;
};

// The stored form, a text value `Programs_n` beside the record's other
// values: one line per row, "DOWN UP PROGRAM", the bytes in decimal, each
// line ending in LF. A text, so that whole bytes survive and a hive dump
// stays readable; a line break in a name becomes '?'.
QString EncodeProgramVolumes(const std::vector<ProgramVolume>& rows);
// nullopt for a text that is not such lines.
std::optional<std::vector<ProgramVolume>> DecodeProgramVolumes(const QString& text);

}  // namespace velmar
