#pragma once

#include <QObject>
#include <gtest/gtest.h>

namespace telva::test {

// The widget or action of that object name below the form; a test failure when missing.
template <class T> T* child(QObject* form, const char* name) {
    T* found = form->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

} // namespace telva::test
