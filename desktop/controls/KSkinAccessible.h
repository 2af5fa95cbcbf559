#pragma once
// Screen-reader access to the skinned controls: roles, names, values and
// states for the buttons (a latched button reads as checked; the tooltip is
// the description), the slider thumb, the displays and the notices, and the
// events that announce their changes.

#include <QAccessible>
#include <QVariant>

class QObject;

// Installs the accessibility factory once per process.
void InstallSkinAccessibility();

// Tell assistive tools what changed: a display's or slider's value, a
// button's latch (its checked state), a control's name, and a notice that
// must be read out at once. Nothing is done while no tool listens.
void AnnounceValue(QObject* object, const QVariant& value);
void AnnounceChecked(QObject* object);
void AnnounceName(QObject* object);
void AnnounceAlert(QObject* object);
