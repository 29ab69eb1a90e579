#pragma once
// How a message reads wherever it is shown: a message box's icon and caption, a line's prefix.
enum MessageKind : int { MessageError = 0, MessageWarning = 1 };
