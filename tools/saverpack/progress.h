// Progress of long work for someone watching a terminal: one line, rewritten
// in place after "\r" as each entry or data file is done, and cleared at the
// end of the stage. Where nobody watches, a silent sink shows nothing.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // A stage of `items` pieces holding `bytes` bytes in all; it replaces
    // the stage before it.
    virtual void begin(const std::string& stage, std::uint64_t items, std::uint64_t bytes) = 0;
    // One more piece, of `bytes` bytes, is done.
    virtual void advance(std::uint64_t bytes) = 0;
    // The stage is over; a second call does nothing.
    virtual void end() = 0;
};

class SilentProgress final : public ProgressSink {
  public:
    void begin(const std::string&, std::uint64_t, std::uint64_t) override {}
    void advance(std::uint64_t) override {}
    void end() override {}
};

// Shows "packing entries: 3/10, 1.2 of 4.0 MB (30%)" on `out`.
class TerminalProgress final : public ProgressSink {
  public:
    explicit TerminalProgress(std::ostream& out) : out_(out) {}
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;
    ~TerminalProgress() override { end(); }

    void begin(const std::string& stage, std::uint64_t items, std::uint64_t bytes) override;
    void advance(std::uint64_t bytes) override;
    void end() override;

  private:
    void draw();
    void show(const std::string& line);

    std::ostream& out_;
    std::string stage_;
    std::uint64_t items_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t itemsDone_ = 0;
    std::uint64_t bytesDone_ = 0;
    std::size_t shown_ = 0; // characters of the line now on the terminal
};

// A stage that ends when it goes out of scope, on every path out.
class ProgressStage {
  public:
    ProgressStage(ProgressSink& sink, const std::string& stage, std::uint64_t items,
                  std::uint64_t bytes)
        : sink_(sink) {
        sink_.begin(stage, items, bytes);
    }
    ProgressStage(const ProgressStage&) = delete;
    ProgressStage& operator=(const ProgressStage&) = delete;
    ~ProgressStage() { sink_.end(); }

    void advance(std::uint64_t bytes) { sink_.advance(bytes); }

  private:
    ProgressSink& sink_;
};

// The sink of callers that want no progress.
ProgressSink& noProgress();

// Whether the process's standard error is a terminal (on Windows, a console).
bool standardErrorIsTerminal();
