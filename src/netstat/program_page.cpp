#include "netstat/program_page.h"

#include <sys/socket.h>

#include <algorithm>

#include "config/kilobit.h"

namespace velmar {

namespace {

constexpr int kProgramNameWidth = 24;
constexpr int kProgramRateWidth = 12;
constexpr int kVolumeWidth = 11;
// The notes below the rows wrap at the rows' width.
constexpr int kNoteWidth = kProgramNameWidth + 2 * kProgramRateWidth + 2 * kVolumeWidth + 4;

QString Wrapped(const QString& text) {
  QString out;
  QString line;
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (!line.isEmpty() && line.size() + 1 + word.size() > kNoteWidth) {
      out += line + QLatin1Char('\n');
      line.clear();
    }
    line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
  }
  return out + line + QLatin1Char('\n');
}

QString Column(const QString& text, int width) {
  return text.leftJustified(width) + QLatin1Char(' ');
}

QByteArray Octets(uint8_t family, const std::array<uint8_t, 16>& address) {
  return QByteArray(reinterpret_cast<const char*>(address.data()), family == AF_INET ? 4 : 16);
}

}  // namespace

void ConnectionBytes::Set(const std::vector<programs::ConnectionFigures>& connections) {
  byEndpoints_.clear();
  for (const programs::ConnectionFigures& c : connections) {
    const auto& s = c.socket;
    byEndpoints_[{Octets(s.family, s.local), s.localPort, Octets(s.family, s.remote),
                  s.remotePort}] = Figures{s.received, s.sent, c.receiveRate, c.transmitRate};
  }
}

const ConnectionBytes::Figures* ConnectionBytes::Find(const SocketRow& row) const {
  const auto it = byEndpoints_.find({row.local.WithoutZone().octets, row.localPort,
                                     row.remote.WithoutZone().octets, row.remotePort});
  return it == byEndpoints_.end() ? nullptr : &it->second;
}

void ConnectionBytes::Sort(std::vector<SocketRow>& rows, TcpSort sort) const {
  if (sort == TcpSort::kListed) {
    return;
  }
  const auto value = [&](const SocketRow& row) -> double {
    const Figures* f = Find(row);
    if (f == nullptr) {
      return -1;
    }
    switch (sort) {
      case TcpSort::kReceived:
        return static_cast<double>(f->received);
      case TcpSort::kSent:
        return static_cast<double>(f->sent);
      case TcpSort::kReceiveRate:
        return f->receiveRate;
      case TcpSort::kTransmitRate:
        return f->transmitRate;
      case TcpSort::kListed:
        break;
    }
    return 0;
  };
  std::stable_sort(rows.begin(), rows.end(),
                   [&](const SocketRow& a, const SocketRow& b) { return value(a) > value(b); });
}

QString ProgramPageText::Heading() {
  return Column(QStringLiteral("Program"), kProgramNameWidth) +
         Column(QStringLiteral("Down kbit/s"), kProgramRateWidth) +
         Column(QStringLiteral("Up kbit/s"), kProgramRateWidth) +
         Column(QStringLiteral("Received"), kVolumeWidth) +
         Column(QStringLiteral("Sent"), kVolumeWidth);
}

QString ProgramPageText::Volume(uint64_t bytes) {
  static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  return unit == 0 ? QStringLiteral("%1 B").arg(bytes)
                   : QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(kUnits[unit]));
}

QString ProgramPageText::Page(const std::vector<programs::ProgramFigures>& rows, bool precise,
                              const QString& notAttributed, int kilobitMode) {
  QString text = Heading() + QStringLiteral("\n\n");
  // "other users" is always there, before "not attributed": the page
  // says so when no other user's program is on the line.
  std::vector<programs::ProgramFigures> shown = rows;
  if (std::none_of(shown.begin(), shown.end(),
                   [](const auto& r) { return r.program == programs::kOtherUsers; })) {
    programs::ProgramFigures others;
    others.program = others.name = programs::kOtherUsers;
    const auto rest = std::find_if(shown.begin(), shown.end(), [](const auto& r) {
      return r.program == programs::kNotAttributed;
    });
    shown.insert(rest, others);
  }
  for (const programs::ProgramFigures& row : shown) {
    text +=
        Column(QString::fromStdString(row.name).left(kProgramNameWidth), kProgramNameWidth) +
        Column(QString::number(Kbps(row.receiveRate, kilobitMode), 'f', 2), kProgramRateWidth) +
        Column(QString::number(Kbps(row.transmitRate, kilobitMode), 'f', 2), kProgramRateWidth) +
        Column(Volume(row.received), kVolumeWidth) + Column(Volume(row.transmitted), kVolumeWidth) +
        QLatin1Char('\n');
  }
  text += QLatin1Char('\n') + Wrapped(QStringLiteral("\"not attributed\": ") + notAttributed);
  text += precise ? QStringLiteral("Precise: every packet counted by the capture helper.\n")
                  : QStringLiteral("From the TCP sockets' own counts.\n");
  return text;
}

}  // namespace velmar
