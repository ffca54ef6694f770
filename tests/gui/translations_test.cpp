#include "gui/translations.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(QtTranslations, MessageBoxButtonsSpeakRussian) {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Cancel);
    ASSERT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancel"));
    telva::installQtTranslations(*qApp);
    QMessageBox translated;
    translated.setStandardButtons(QMessageBox::Cancel);
    EXPECT_EQ(translated.button(QMessageBox::Cancel)->text(), QStringLiteral("Отмена"));
}
