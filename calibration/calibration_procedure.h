#pragma once
// What the operator's calibration buttons do: taking the two points of each row,
// writing the calibration block and the datasheet (as read, with the new constants)
// into the sensor and reading both back, the factory and post-calibration
// initialisation, gain setting and the verification of a sensor's stored calibration. Every failure is told in a
// message box and stops the step; nothing done before it is rolled back.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/calibration_session.h"

namespace trimwell {

constexpr std::size_t kCalibrationRecordSize = 16;

class CalibrationProcedure {
 public:
  CalibrationProcedure(CalibrationSession& session, CalibrationUi& ui) : s_(session), ui_(ui) {}

  void FactoryInit();
  // The points of a row (all rows with Simultaneous Cal), from its Point buttons.
  void TakePoint1(int row);
  void TakePoint2(int row);
  void CapturePoint1();
  void CapturePoint2();
  bool AdvanceRow();
  bool WriteCalibration();
  bool SendInitCommand();
  // Writes a record's as-found (or as-left) image and calibration block back into
  // the sensor it was taken of, reads both back, and hands back the restore's
  // outcome to be kept.
  bool restore(const RestoreSource& from, bool asFound);
  bool VerifyCalibration();
  bool SetGain(int gainIndex);
  void SelectGain(int row);

  // The calibration block for the rows in use: 16 bytes per row at its row index.
  static std::vector<std::uint8_t> calibrationBlock(const CalibrationSession& session);
  // The block keeps each value as 16.16 fixed point: a finite number from -32768
  // up to (not including) 32768. Anything else would go in as another value.
  static bool fitsCalibrationBlock(double value);

 private:
  bool rowsValid() const { return s_.rowCount >= 1 && s_.rowCount <= kCalibrationRows; }
  void message(const char* text) {
    lastMessage_ = text;
    ui_.ShowMessage(text);
  }
  template <typename Capture>
  void captureRows(Capture&& capture);
  bool typedValuesAreNumbers(int point);
  bool typedValueRefused(int point, int r, const CalibrationRow& row);
  bool pointsDefineLines();
  bool pointsFitBlock();
  bool restorable(const RestoreSource& from, bool asFound, Datasheet& decoded);
  bool confirmForeignSensor(const RestoreSource& from, bool asFound, WriteOutcome& outcome);
  static void rowsOfImage(const Datasheet& written, WriteOutcome& outcome);
  void rowsOfSession(WriteOutcome& outcome) const;
  bool readAsFound(WriteOutcome& outcome, std::size_t calibrationLength);
  // asFoundRead: the record already holds what the sensor had (a restore reads it
  // first, to compare).
  bool writeImageAndBlock(const std::vector<std::uint8_t>& image, const std::vector<std::uint8_t>& block,
                          bool withBlock, WriteOutcome& outcome, bool asFoundRead = false);
  void finishOutcome(WriteOutcome& outcome, bool success);
  bool writeCalibrationBlock(const std::vector<std::uint8_t>& block);
  bool recheckCalibrationBlock(const std::vector<std::uint8_t>& block, const char* readFailure,
                               const char* mismatch);
  bool fitsSensor(std::size_t length);
  bool encodeDatasheetImage(std::vector<std::uint8_t>& image);
  bool writeDatasheetImage(const std::vector<std::uint8_t>& image);

  CalibrationSession& s_;
  CalibrationUi& ui_;
  // The write under way, which the read-backs fill in as they come.
  WriteOutcome* attempt_ = nullptr;
  std::string lastMessage_;
};

}  // namespace trimwell
