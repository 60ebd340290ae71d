#include "windowrecording.h"

#include "comport.h"
#include "dedizivi.h"
#include "errorbox.h"
#include "models.h"
#include "portdescription.h"
#include "recorder.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>

namespace dz {

namespace {

QString Text(const std::string& s)
{
  return QString::fromStdString(s);
}

// Runs on the recorder's thread: the box is shown by the user-interface thread.
void Tell(const ArchiveNotice& n)
{
  QString message;
  switch (n.What) {
  case ArchiveNotice::MovedAside:
    message = QStringLiteral("El archivo de descargas %1 no se podía leer (%2): se guardó aparte como %3 y se empezó uno "
                             "nuevo")
                .arg(Text(n.Path), Text(n.Detail), Text(n.MovedTo));
    break;
  case ArchiveNotice::CannotWrite:
    message = QStringLiteral("Esta descarga no se puede guardar en el archivo de descargas (%1). La descarga sigue y se "
                             "convierte como siempre")
                .arg(Text(n.Detail));
    break;
  case ArchiveNotice::NotArchived:
    message = QStringLiteral("Esta descarga no se pudo guardar entera en el archivo de descargas (%1). Los datos "
                             "descargados siguen en la ventana")
                .arg(Text(n.Detail));
    break;
  case ArchiveNotice::NotACard:
    message = QStringLiteral("Llegan datos que no pueden ser de una tarjeta (%1): ruido, otro puerto u otra velocidad. "
                             "El archivo de descargas guarda solo lo anterior; la descarga sigue")
                .arg(Text(n.Detail));
    break;
  }
  QMetaObject::invokeMethod(qApp, [message] { ShowErrorBox(message); }, Qt::QueuedConnection);
}

} // namespace

WindowRecording::WindowRecording(TForm1& form) : m_form(form) {}

WindowRecording::~WindowRecording() = default;

void WindowRecording::End(std::unique_ptr<ArchiveRecorder> recorder)
{
  std::erase_if(m_ending, [](const auto& r) { return r->Done(); });
  if (recorder)
    m_ending.push_back(std::move(recorder));
}

void WindowRecording::Opened()
{
  Closed(); // one not closed through the handler still ends, not lingers
  m_recorder = std::make_unique<ArchiveRecorder>(
    Archive::DefaultPath(), DescribeDownload(*m_form.ComPort, Source::Window, m_form.ComboBox1->currentIndex()), Tell);
}

void WindowRecording::Received(std::string_view bytes)
{
  if (m_recorder)
    m_recorder->Append(bytes);
}

void WindowRecording::LineLost()
{
  if (m_recorder)
    m_recorder->NoteLineLost();
}

void WindowRecording::Closed(EndReason reason)
{
  if (!m_recorder)
    return;
  // The model and radiation fields the conversion is about to read.
  DownloadEnd end{reason, m_form.ComboBox1->currentIndex(), std::nullopt, std::nullopt};
  if (end.Model == kRadiationModel) {
    end.Constant = m_form.Edit1->text().toStdString();
    end.Offset = m_form.SpinEdit1->text().toStdString();
  }
  m_recorder->Finish(std::move(end));
  End(std::move(m_recorder));
}

void WindowRecording::EraseSent()
{
  // An erase during a download closes its port without the close handler:
  // the erase ends it.
  Closed(EndReason::Erased);
  End(std::make_unique<ArchiveRecorder>(Archive::DefaultPath(), DescribeErase(*m_form.ComPort, Source::Window), Tell));
}

} // namespace dz
