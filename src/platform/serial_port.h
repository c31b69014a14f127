#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

// Outcome of one request on the port.
enum class IoStatus {
  Done,      // the request completed; `count` bytes moved
  TimedOut,  // nothing moved within the wait; the request was cancelled and has ended
  Failed,    // the system refused the request; `errorCode` holds its error and the
             // thread's last-error value is left set to it for the error report
};

struct IoResult {
  IoStatus status = IoStatus::Failed;
  std::size_t count = 0;
  int errorCode = 0;
};

// The operating system's side of the modem's serial port. Every request is
// bounded in time and has ended (or been cancelled and waited for) before
// the call returns. Line settings (speed, framing) are never touched.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Opens COM port `comNumber` for exclusive use and configures it for the
  // link. On false the thread's last-error value says why.
  virtual bool open(int comNumber) = 0;

  // After a failed `open`: a line for the operator on what stands in the
  // way (such as another program holding the port), or empty.
  virtual std::string openFailureDetail() const { return {}; }

  // Closes the port if it is open. Drops nothing but the system's handles.
  virtual void close() = 0;

  // One write request for up to `size` bytes, waiting at most `waitMs`.
  virtual IoResult write(const char* data, std::size_t size, unsigned waitMs) = 0;

  // One read request: hands back what is already waiting (at most
  // `capacity` bytes) at once; when nothing is waiting, waits at most
  // `waitMs` for the first byte. TimedOut means no byte arrived.
  virtual IoResult read(char* buffer, std::size_t capacity, unsigned waitMs) = 0;
};

// The port implementation of the build's operating system.
std::unique_ptr<SerialPort> makeSystemSerialPort();

// A fresh serial port for one link; each link owns its own.
using SerialPortFactory = std::function<std::unique_ptr<SerialPort>()>;

}  // namespace tarnwick
