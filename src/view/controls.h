// The state of the window's named controls. Features change this; the Qt window (or the CLI, or a
// test) shows it. Keys are the UTF-8 design names of control_names.h; every text value is GBK.
// All members are safe to call from any thread.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "view/control_names.h"

namespace brindle {

struct ControlState {
  bool enabled = true;
  bool checked = false;  // radio, check box, slide switch
  bool visible = true;   // for a dialog: shown
  std::string caption;   // GBK: button/label text, edit box contents, dialog title
  int value = 0;         // page container: the current page; unused elsewhere
  std::string image;     // picture: encoded image bytes (PNG/JPEG/GIF as fetched)
  bool operator==(const ControlState&) const = default;
};

class Controls {
 public:
  // Called after every change that altered a control's state, with the control's new state, in
  // the order the changes were made. Runs on the thread that made the change; it may read or
  // change controls itself, but must not block waiting for another thread that changes controls.
  using Observer = std::function<void(const std::string& name, const ControlState& state)>;

  // Every control of the design table with its caption (GBK), enabled, visible and unchecked,
  // except the dialogs and the notice panel and player panel, which start hidden.
  Controls();
  Controls(const Controls&) = delete;
  Controls& operator=(const Controls&) = delete;

  // Adds a control the design table lacks (a dialog built at run time, say). False when the
  // name already exists. `radio_group` != 0 joins that radio group.
  bool Add(const std::string& name, names::ControlKind kind, const std::string& caption_gbk,
           int radio_group = names::kNoGroup);

  bool Has(std::string_view name) const;
  std::vector<std::string> Names() const;

  // Getters give the default ControlState values for an unknown name.
  ControlState Get(std::string_view name) const;
  bool Enabled(std::string_view name) const;
  bool Checked(std::string_view name) const;
  bool Visible(std::string_view name) const;
  std::string Caption(std::string_view name) const;
  int Value(std::string_view name) const;
  std::string Image(std::string_view name) const;

  // Setters return false (and change nothing) for an unknown name. Setting a value equal to the
  // current one is not a change and calls no observer.
  bool SetEnabled(std::string_view name, bool enabled);
  // Checking a radio button unchecks the others of its group; unchecking one leaves the group
  // with none checked.
  bool SetChecked(std::string_view name, bool checked);
  bool SetVisible(std::string_view name, bool visible);
  bool SetCaption(std::string_view name, std::string caption_gbk);
  bool SetValue(std::string_view name, int value);
  bool SetImage(std::string_view name, std::string image);
  bool Set(std::string_view name, const ControlState& state);

  // The checked member of a radio group ("" when none is checked or the group is unknown).
  std::string CheckedInGroup(int radio_group) const;
  // The members of a radio group, in the order they were added.
  std::vector<std::string> GroupMembers(int radio_group) const;
  // Group of a control, kNoGroup when it has none or is unknown.
  int RadioGroup(std::string_view name) const;

  // One observer; a new one replaces the old, an empty function removes it.
  void SetObserver(Observer observer);

 private:
  struct Entry {
    ControlState state;
    names::ControlKind kind = names::ControlKind::kLabel;
    int radio_group = names::kNoGroup;
  };

  // Applies `change` to the named entry under the state lock and reports every entry it altered.
  template <typename Change>
  bool Modify(std::string_view name, Change change);

  // Held for a whole setter, state change and notification together, so observers see changes in
  // the order they were made. Recursive so an observer may itself change a control.
  mutable std::recursive_mutex notify_mutex_;
  mutable std::mutex mutex_;  // guards entries_ and groups_
  std::map<std::string, Entry, std::less<>> entries_;
  std::map<int, std::vector<std::string>> groups_;
  Observer observer_;  // guarded by notify_mutex_
};

}  // namespace brindle
