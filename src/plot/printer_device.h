// Printing the plot on the current printer (Quick Print).
//
// The device draws with the drawing surface's canvas operations on the
// printer's canvas: device pixels from the printable area's top-left
// corner, Y down. Its own are the coordinate arithmetic (the origin is the
// database point at the page's top-left corner), the colours (black on a
// monochrome printer), the hole marks and the document brackets. "Auto
// Scale" fits the displayed drawing, plus 10 %, centred on the page, and
// turns the page when the drawing fits better that way; with nothing shown
// it prints at 1 : 1 from the database origin.
#pragma once
#include <memory>

#include "model/view_services.h"
#include "plot/plot_device.h"

class TPrinterDevice : public TPlotDevice {
 public:
  TPrinterDevice();

  int32_t LengthToDevice(int32_t length) override;
  double LengthToDeviceReal(int32_t length) override;
  void WorldToDevice(double x, double y, int32_t& dx, int32_t& dy) override;
  void WorldToDeviceReal(double x, double y, double& dx, double& dy) override;
  void SetColor(TColor colour) override;
  void DrawHoleSymbol(int32_t x, int32_t y, uint16_t tool) override;
  void DrawHoleLetter(int32_t x, int32_t y, uint16_t tool) override;
  TColor ColorOfTool(int32_t tool) override;
  bool MirrorsY() override { return false; }

  bool Setup() override { return true; }
  bool Place() override;
  bool BeginPlot() override;
  void EndPlot() override;
  void DeviceToWorld(int32_t dx, int32_t dy, int32_t& x, int32_t& y) override;

  // Fits the displayed drawing into a page of wdb x hdb database units
  // (Auto Scale): sets the factor and the origin; true when the turned page
  // fits better.
  bool AutoFit(double wdb, double hdb);
  // Reads the page size, resolution and colours of the printer.
  void ReadCapabilities();

  uint8_t ScaleIndex = 2;
  // Set by AutoFit when no layer shown holds anything.
  bool Empty = false;
  double OriginX = 0.0;
  double OriginY = 0.0;
  bool ColourPrinter = false;

 private:
  double Factor() const { return PlotScaleFactors[ScaleIndex]; }
  std::unique_ptr<THourGlass> WaitBox;
};
