// Screen texts the tests share: the star banner and the dash line the
// program prints, the port line and header of the sub-system check, and
// small helpers over captured text.  Header only, so that the unit tests,
// the end-to-end tests and the fuzz targets can all use it.
#pragma once

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

namespace test_support {

inline const std::string kDash(
    "---------+---------+---------+---------+---------+---------+---------+---------+");
inline const std::string kStars(
    "*********+*********+*********+*********+*********+*********+*********+*********+");

// The texts of a port: what a test writes into a port record
// (port_record.h) and what the screen shows of it.
struct PortFields {
  std::string vendor;
  std::string model;
  std::string serial;
  std::string type;
  std::string number;
  std::string function;
  std::string wwn;
  std::string mac;
};

// "Vendor: V, Model: M SerialNumber: S PortType: T PortNumber: N PCI
// function: F" after the indent, with its line break.
inline std::string PortLine(const std::string& indent, const PortFields& port) {
  return indent + "Vendor: " + port.vendor + ", Model: " + port.model +
         " SerialNumber: " + port.serial + " PortType: " + port.type +
         " PortNumber: " + port.number + " PCI function: " + port.function + "\n";
}

// The header the sub-system check prints for each port it examines.
inline std::string CheckHeader(const PortFields& port) {
  return "\n\t\t" + kDash + "\n\n\t\tPerform subsystem check for:\n" + PortLine("\t\t", port);
}

// What the sub-system check prints at level two when the port's storage
// becomes the reference of its controller-device and of its vendor.
inline std::string TakenAsReferences(const PortFields& port) {
  return "\t\tTake this sub-system as reference-sub-system for this controller-device.\n" +
         PortLine("\t\t\t", port) +
         "\n\t\tTake this sub-system as reference-sub-system for vendor " + port.vendor +
         ".\n" + PortLine("\t\t\t", port);
}

// How often part stands in text (overlapping places count).
inline int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The text with every from replaced by to, left to right.
inline std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The lines of a text, without their line breaks.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace test_support
