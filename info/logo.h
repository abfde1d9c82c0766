#pragma once
// The pictures of the board information dialogs: one per firmware author / OEM tag, numbered like
// the bitmap resources they stand for (140 generic .. 144), each 380 x 420 pixels.
#include <QPixmap>
#include <QString>

class QLabel;

inline constexpr int kLogoWidth = 380;
inline constexpr int kLogoHeight = 420;

// Picture number for a board's tag, compared as the whole text, case included. The one-to-one
// (classic) dialog also knows the older "BRACKWELLTECH" tag; the others show the generic picture.
int LogoBitmapForTag(const QString& tag, bool acceptsBrackwellTech);

// The picture of that number at 380 x 420; an unknown number gives the generic one. UI thread only.
QPixmap LogoPicture(int bitmap);

// Shows the picture centred in `picture` and leaves the number of the one shown (140 for an
// unknown number) in the label's "bitmap" property.
void ShowLogoIn(QLabel* picture, int bitmap);

// Registers the pictures compiled into this static library; LogoPicture does it on first use.
void InitLogoResources();
