#pragma once
// Shows a value at once and again after every change: apply() runs now and on
// each emission of the sender's signal, for as long as the receiver lives.
// Widgets bind to the state this way instead of reading a value and then
// connecting to its change signal by hand.
#include <QObject>
#include <utility>

namespace Bind {

template <class Sender, class Signal, class Apply>
QMetaObject::Connection value(QObject* receiver, const Sender* sender, Signal signal, Apply apply) {
    apply();
    return QObject::connect(sender, signal, receiver, std::move(apply));
}

}  // namespace Bind
