// Records the component's OnMatching, OnSearching and OnGrepping events so
// tests can check what a handler was given; an optional action runs inside
// the handler to exercise re-entrant use of the component.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <RegexComponent/RegularExpressionCustom.h>

namespace RegexComponent::testing {

struct RecordedEvent {
  TObject* Sender;
  CPPStringArray Parts;
  unsigned LineIndex;
  unsigned StartOfLine;
};

class EventRecorder {
 public:
  std::vector<RecordedEvent> Events;
  // Runs inside the handler after the event is recorded, with the array
  // the handler was given; index is the event's position in Events. For
  // grep events it may clear bcontinue.
  std::function<void(std::size_t index, const CPPStringArray& parts, bool& bcontinue)> During;

  void Matching(TObject* Sender, const CPPStringArray& Parts, unsigned LineIndex, unsigned StartOfLine) {
    bool unused = true;
    Record(Sender, Parts, LineIndex, StartOfLine, unused);
  }
  void Grepping(TObject* Sender, const CPPStringArray& Parts, unsigned LineIndex, unsigned StartOfLine,
                bool& bcontinue) {
    Record(Sender, Parts, LineIndex, StartOfLine, bcontinue);
  }

 private:
  void Record(TObject* Sender, const CPPStringArray& Parts, unsigned LineIndex, unsigned StartOfLine,
              bool& bcontinue) {
    Events.push_back({Sender, Parts, LineIndex, StartOfLine});
    if (During) During(Events.size() - 1, Parts, bcontinue);
  }
};

}  // namespace RegexComponent::testing
