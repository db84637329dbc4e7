#pragma once

#include "shell/widgets/MainWindow.h"

#include <memory>

namespace pelorix
{

class TForm2;
class TForm4;
class TForm5;
class TForm6;

// The program's windows, each created once, in order: the main window (whose creation handler runs at once),
// the About box, the quit window, the message of the day and the proxy window. The Add server window joins
// them with the add-server feature.
class Forms
{
  public:
    explicit Forms(TForm1Services services);
    ~Forms();
    Forms(const Forms &) = delete;
    Forms &operator=(const Forms &) = delete;

    // False when the main window's creation ended the program (no administrator rights).
    bool started() const { return m_started; }

    TForm1 *Form1() const { return m_form1.get(); }
    TForm2 *Form2() const { return m_form2.get(); }
    TForm4 *Form4() const { return m_form4.get(); }
    TForm5 *Form5() const { return m_form5.get(); }
    TForm6 *Form6() const { return m_form6.get(); }

  private:
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TForm4> m_form4;
    std::unique_ptr<TForm5> m_form5;
    std::unique_ptr<TForm6> m_form6;
    bool m_started = false;
};

} // namespace pelorix
