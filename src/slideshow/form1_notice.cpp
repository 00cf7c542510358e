// The notice window's timer: a notice stays up for eleven ticks and closes at the twelfth.

#include "app/form3.h"
#include "app/main_window.h"
#include "platform/classic_timer.h"

#include <QLabel>
#include <QRect>

namespace tarvex {

void Form1::show_notice(const QString& text) {
  form3()->Label1->setText(text);
  notice_timer->set_enabled(true);
}

void Form1::ロード終了表示_Timer() {
  if (st.notice_count > 10) {
    st.notice_count = 0;
    notice_timer->set_enabled(false);
    form3()->unload();
    return;
  }
  st.notice_count = st.notice_count + 1;
  form3()->setWindowTitle(app_title);
  // The notice comes up in the middle of the main window, not wherever the window manager
  // would put a new window; once up, it stays where it is.
  if (!form3()->isVisible()) {
    QRect place = form3()->frameGeometry();
    place.moveCenter(frameGeometry().center());
    form3()->move(place.topLeft());
  }
  form3()->show();
}

}  // namespace tarvex
