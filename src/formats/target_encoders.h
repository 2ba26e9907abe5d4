// Target-data outputs. The serial controller queues the host task's ready-made
// target lines on every port whose encoder is named "VKRTAR" or "VKRTR1"; the
// two encoders differ only in the name the operator picks and the settings keep.
#pragma once

#include <list>
#include <string>

#include "port/codec.h"

// Registry "PVKRTAR".
class CEncodeTargetDataFromHalde : public CEncode {
  NYX_DECLARE_DYNCREATE(CEncodeTargetDataFromHalde)
 public:
  CEncodeTargetDataFromHalde();
  // Moves the first queued line (up to and including its line feed) into out.
  int EncodeB(int w1, int w2, std::string& out, std::list<std::string>* queue, int w5) override;
};

// Registry "PVKRTR1".
class CEncodeTargetData1 : public CEncode {
  NYX_DECLARE_DYNCREATE(CEncodeTargetData1)
 public:
  CEncodeTargetData1();
  int EncodeB(int w1, int w2, std::string& out, std::list<std::string>* queue, int w5) override;
};
