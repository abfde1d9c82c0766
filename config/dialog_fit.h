#pragma once
// Text that fits the controls of dialogs laid out in dialog units. The units follow the em of the
// dialog font, but the face serving it here has a taller line than the em: a label eight units
// high would cut its text's top and bottom.
class QGroupBox;
class QWidget;

// Gives `box` a title on the frame's top line, interrupting it, as dialog-unit layouts expect:
// their first control lies half a line below the box's top, where the frame runs. Styles that put
// the title above the frame push the frame through that control. The style is shared and lives as
// long as the application.
QGroupBox* TitleOnFrame(QGroupBox* box);
// Grows the labels, check boxes and radio buttons among the direct children of `dialog` that are
// lower than a line of their text to that height, about their own middle, so the text stays where
// it was and is whole.
void FitTextLines(QWidget* dialog);
