// The report's words for each reason.
#include "engine/reason.h"

namespace shred {

const wchar_t* ReasonText(Reason reason) {
  switch (reason) {
    case Reason::None:
      return L"";
    case Reason::NotFullPath:
      return L"不是完整路径";
    case Reason::InvalidName:
      return L"文件名无效";
    case Reason::Device:
      return L"是设备或特殊路径，不能粉碎";
    case Reason::NotFound:
      return L"找不到文件";
    case Reason::PathNotFound:
      return L"找不到文件所在的文件夹";
    case Reason::NetworkPath:
      return L"无法访问网络路径";
    case Reason::NotAFile:
      return L"不是文件";
    case Reason::ReadOnly:
      return L"文件或磁盘只读";
    case Reason::AccessDenied:
      return L"拒绝访问";
    case Reason::InUse:
      return L"正在被其他程序使用";
    case Reason::DiskFull:
      return L"磁盘空间不足";
    case Reason::IoError:
      return L"读写错误";
    case Reason::Cancelled:
      return L"已取消，仅部分覆盖";
    case Reason::Changed:
      return L"文件在检查后发生了变化";
    case Reason::NotDeleted:
      return L"内容已覆盖，但无法删除";
    case Reason::NotDeletedRenamed:
      return L"内容已覆盖，但无法删除，也无法改回原名";
    case Reason::MovedAway:
      return L"内容已覆盖，但文件已被移走，未能删除";
    case Reason::FolderNotEmpty:
      return L"文件夹中仍有内容，未删除";
    case Reason::Link:
      return L"是链接，其指向的文件不予粉碎";
    case Reason::OnlineOnly:
      return L"文件仅存于云端，不予下载";
    case Reason::SpecialFile:
      return L"是特殊文件（重解析点），不予粉碎";
    case Reason::VerifyFailed:
      return L"校验失败";
    case Reason::VerifyCancelled:
      return L"内容已覆盖，校验时被取消，未删除";
    case Reason::FolderKept:
      return L"粉碎已取消，文件夹未删除";
    case Reason::FolderChanged:
      return L"文件夹在检查后发生了变化";
    case Reason::OtherNames:
      return L"还有其他名称（硬链接），不予粉碎";
  }
  return L"";
}

std::wstring ReasonText(Reason reason, uint32_t errorCode) {
  std::wstring text = ReasonText(reason);
  if (reason == Reason::IoError && errorCode != 0)
    text += L"（错误代码 " + std::to_wstring(errorCode) + L"）";
  return text;
}

}  // namespace shred
