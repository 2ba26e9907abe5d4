// What a COM line asks of the window that owns it: only whether comms are on.
// A line whose owner does not answer this never reads.
#pragma once

class ILineOwner {
 public:
  virtual ~ILineOwner() = default;
  // The live flag that gates all port traffic; read by the lines' reader threads.
  virtual bool CommsEnabled() const = 0;
};
