#pragma once

// The image window's document. It holds no picture; its one flag is set by the save
// panel's hidden "Raw Data Filter" box.
class CKdGelDoc {
  public:
    int rawDataFilter() const { return rawDataFilter_; }
    void setRawDataFilter(int on) { rawDataFilter_ = on; }

  private:
    int rawDataFilter_ = 0;
};
