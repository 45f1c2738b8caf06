#pragma once

namespace corvane {

// Event codes the window layer raises. The main loop only acts on CloseEvent;
// the others are queued so that a caller polling the window sees them.
inline constexpr int GadgetEvent = 13100;  // extra: the gadget's own event type
inline constexpr int MenuEvent = 13101;
inline constexpr int ActivateEvent = 13104;
inline constexpr int MinimiseEvent = 13107;
inline constexpr int MaximiseEvent = 13108;
inline constexpr int RestoreEvent = 13109;
inline constexpr int TimerEvent = 13110;
inline constexpr int RightClickEvent = 13111;
inline constexpr int LeftClickEvent = 13112;
inline constexpr int LeftDoubleClickEvent = 13113;
inline constexpr int DeactivateEvent = 13114;
inline constexpr int RepaintEvent = 13115;
inline constexpr int CloseEvent = 13116;
inline constexpr int MoveEvent = 13117;
inline constexpr int SizeEvent = 13118;

// Gadget event types carried in `extra` of a GadgetEvent from an editor.
inline constexpr int EditorFocusGained = 14000;
inline constexpr int EditorFocusLost = 14001;

}  // namespace corvane
